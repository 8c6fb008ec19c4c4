#pragma once
// Records what the application-wide error handler and the message seam receive while in scope,
// and restores the previous handler and hook afterwards.
#include "platform/ErrorGuard.h"
#include "platform/MessageSeam.h"

#include <QString>
#include <QStringList>

#include <vector>

class TRecordingErrorHandler {
public:
    TRecordingErrorHandler();
    ~TRecordingErrorHandler();
    TRecordingErrorHandler(const TRecordingErrorHandler&) = delete;
    TRecordingErrorHandler& operator=(const TRecordingErrorHandler&) = delete;

    const QStringList& Messages() const { return FMessages; }
    const std::vector<std::exception_ptr>& Errors() const { return FErrors; }
    int Count() const { return int(FMessages.size()); }
    void Clear();
    // Processes events until at least Count errors were recorded or TimeoutMs passed.
    bool WaitFor(int Count, int TimeoutMs = 5000) const;

private:
    TErrorHandler FPrevious;
    QStringList FMessages;
    std::vector<std::exception_ptr> FErrors;
};

struct TRecordedMessage {
    QString Text;
    QString Caption;
    TMessageKind Kind = TMessageKind::Information;
};

class TMessageRecorder {
public:
    TMessageRecorder();
    ~TMessageRecorder();
    TMessageRecorder(const TMessageRecorder&) = delete;
    TMessageRecorder& operator=(const TMessageRecorder&) = delete;

    const std::vector<TRecordedMessage>& Messages() const { return FMessages; }
    QStringList Texts() const;
    int Count() const { return int(FMessages.size()); }
    void Clear() { FMessages.clear(); }

private:
    TMessageHook FPrevious;
    std::vector<TRecordedMessage> FMessages;
};
