#include "TestRecorders.h"

#include "TestWait.h"

TRecordingErrorHandler::TRecordingErrorHandler() {
    FPrevious = SetApplicationErrorHandler([this](std::exception_ptr Error) {
        FErrors.push_back(Error);
        FMessages.append(QString::fromStdString(ExceptionMessage(Error)));
    });
}

TRecordingErrorHandler::~TRecordingErrorHandler() {
    SetApplicationErrorHandler(std::move(FPrevious));
}

void TRecordingErrorHandler::Clear() {
    FMessages.clear();
    FErrors.clear();
}

bool TRecordingErrorHandler::WaitFor(int Count_, int TimeoutMs) const {
    return WaitUntil([&] { return Count() >= Count_; }, TimeoutMs);
}

TMessageRecorder::TMessageRecorder() {
    FPrevious = SetMessageHook(
        [this](const TMessage& Message) { FMessages.push_back({Message.Text, Message.Caption, Message.Kind}); });
}

TMessageRecorder::~TMessageRecorder() {
    SetMessageHook(std::move(FPrevious));
}

QStringList TMessageRecorder::Texts() const {
    QStringList l;
    for (const auto& m : FMessages)
        l.append(m.Text);
    return l;
}
