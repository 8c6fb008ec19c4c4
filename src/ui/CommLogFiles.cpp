// The command log's Open, Save and Clear bar, its text and CSV files, and reading a saved log.
#include "ui/CommLogFiles.h"

#include "cmdtext/CommLogText.h"
#include "ui/CommLogView.h"
#include "platform/ErrorGuard.h"
#include "platform/MessageSeam.h"
#include "platform/UserFile.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSaveFile>

TCommLogFiles::TCommLogFiles(QWidget* Window, TLogSource Source, TCommLogView& View)
    : QObject(Window), FWindow(Window), FSource(std::move(Source)), FView(View) {
    Panel1 = new QFrame(Window);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    btnClear = new QPushButton(QStringLiteral("Clear"), Panel1);
    btnClear->setObjectName(QStringLiteral("btnClear"));
    LogHint(btnClear, QStringLiteral("Empty the log"));
    btnSave = new QPushButton(QStringLiteral("Save..."), Panel1);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    LogHint(btnSave, QStringLiteral("Save the log as shown to a text file, or as CSV to a file named *.csv"));
    btnOpen = new QPushButton(QStringLiteral("Open..."), Panel1);
    btnOpen->setObjectName(QStringLiteral("btnOpen"));
    LogHint(btnOpen, QStringLiteral("Open a log saved as CSV in a window of its own"));
    auto* bottom = new QHBoxLayout(Panel1);
    bottom->setContentsMargins(6, 4, 6, 4);
    bottom->addStretch(1);
    bottom->addWidget(btnOpen);
    bottom->addWidget(btnSave);
    bottom->addWidget(btnClear);
    connect(btnClear, &QPushButton::clicked, this, [this] { RunGuarded([this] { emit ClearClicked(); }); });
    connect(btnSave, &QPushButton::clicked, this, Guarded(this, &TCommLogFiles::SaveClicked));
    connect(btnOpen, &QPushButton::clicked, this, Guarded(this, &TCommLogFiles::OpenClicked));
}

QWidget* TCommLogFiles::Bar() const {
    return Panel1;
}

QList<QWidget*> TCommLogFiles::TabOrder() const {
    return {btnOpen, btnSave, btnClear};
}

void TCommLogFiles::SetReadOnly() {
    btnClear->setVisible(false);
}

void TCommLogFiles::SaveClicked() {
    QFileDialog dialog(FWindow, QStringLiteral("Save command log"));
    dialog.setObjectName(QStringLiteral("SaveLogDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QString text = QStringLiteral("Text files (*.txt)");
    const QString csv = QStringLiteral("CSV files (*.csv)");
    dialog.setNameFilters({text, csv, QStringLiteral("All files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    // A name typed without an extension takes the one of the chosen file type.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, csv](const QString& Filter) {
        RunGuarded(
            [&] { dialog.setDefaultSuffix(Filter == csv ? QStringLiteral("csv") : QStringLiteral("txt")); });
    });
    dialog.setDirectory(FSaveFolder.isEmpty() ? QDir::homePath() : FSaveFolder);
    dialog.selectFile(QStringLiteral("command-log.txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    FSaveFolder = QFileInfo(path).absolutePath();
    SaveToFile(path);
}

bool TCommLogFiles::SaveToFile(const QString& Path) {
    // Written beside the target and renamed over it at the end: a failure leaves any earlier
    // file whole.
    QSaveFile file(Path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok && Path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        ok = WriteCsv(file);
    } else if (ok) {
        const QByteArray text = ViewText();
        ok = file.write(text) == text.size();
    }
    if (ok && file.commit())
        return true;
    const QString reason = file.errorString();
    file.cancelWriting();
    ShowMessage(TMessageKind::Error,
                QStringLiteral("Error while saving the command log to \"%1\": %2")
                    .arg(QDir::toNativeSeparators(Path), reason),
                QStringLiteral("Error"), FWindow);
    return false;
}

QByteArray TCommLogFiles::ViewText() {
    // Every shown packet, also those outside the view's page.
    FView.Update();
    const TLogHistory& history = FSource.History;
    const TLogOptions options = FSource.Options();
    QString text;
    for (int64_t i = 0; i < history.ShownCount(); ++i) {
        const TLogEntry& e = history.Shown(i);
        text.append(LogPacketText(e.Copy, options, e.TimeMs)).append(QLatin1Char('\n'));
    }
    return text.toUtf8();
}

bool TCommLogFiles::WriteCsv(QIODevice& Out) const {
    // Every kept packet, hidden ones too; written in pieces, a million rows never make one string.
    const TLogHistory& history = FSource.History;
    const TLogOptions options = FSource.Options();
    QString chunk = LogCsvHeader() + QStringLiteral("\r\n");
    for (int32_t i = 0; i < history.Count(); ++i) {
        const TLogEntry& e = history.Entry(i);
        // RFC 4180 ends every record with CR LF.
        chunk += LogCsvRow(e.Copy, e.TimeMs, options) + QStringLiteral("\r\n");
        if (chunk.size() > (1 << 20) || i == history.Count() - 1) {
            const QByteArray bytes = chunk.toUtf8();
            if (Out.write(bytes) != bytes.size())
                return false;
            chunk.clear();
        }
    }
    if (history.Count() == 0) {
        const QByteArray bytes = chunk.toUtf8();
        return Out.write(bytes) == bytes.size();
    }
    return true;
}

void TCommLogFiles::OpenClicked() {
    QFileDialog dialog(FWindow, QStringLiteral("Open command log"));
    dialog.setObjectName(QStringLiteral("OpenLogDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("CSV files (*.csv)"), QStringLiteral("All files (*)")});
    dialog.setDirectory(FSaveFolder.isEmpty() ? QDir::homePath() : FSaveFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    FSaveFolder = QFileInfo(path).absolutePath();
    emit OpenChosen(path);
}

bool TCommLogFiles::ReadFile(const QString& Path, std::vector<TLogRecord>& Records,
                             std::set<std::string>& Names) {
    QFile file;
    QString error;
    if (UserFile::Open(file, Path, UserFile::MaxSize, error) == UserFile::Opened)
        ParseLogCsv(file, Records, error, &Names);
    if (error.isEmpty())
        return true;
    ShowMessage(TMessageKind::Error,
                QStringLiteral("Error while opening the command log \"%1\": %2")
                    .arg(QDir::toNativeSeparators(Path), error),
                QStringLiteral("Error"), FWindow);
    return false;
}
