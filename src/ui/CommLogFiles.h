#pragma once
// The command log's files: the bar with Open, Save and Clear, saving the history as text or CSV,
// and reading a saved CSV log.
#include "ui/CommLogPart.h"

#include <QList>
#include <QObject>

#include <set>
#include <string>
#include <vector>

class QFrame;
class QIODevice;
class QPushButton;
class TCommLogView;
struct TLogRecord;

class TCommLogFiles : public QObject {
    Q_OBJECT
public:
    // The bar's controls are Window's; the dialogs and error boxes are Window's too.
    TCommLogFiles(QWidget* Window, TLogSource Source, TCommLogView& View);
    QWidget* Bar() const;
    QList<QWidget*> TabOrder() const;

    // The history as the view shows it, or as CSV when Path ends in ".csv"; a failure is shown
    // in an error box and leaves the history as it is.
    bool SaveToFile(const QString& Path);
    // A saved CSV log's records and the command names it uses; a malformed file is shown in an
    // error box with its line, and false.
    bool ReadFile(const QString& Path, std::vector<TLogRecord>& Records, std::set<std::string>& Names);
    // A log opened from a file is not cleared.
    void SetReadOnly();

signals:
    void ClearClicked();
    // The user chose a saved log to open.
    void OpenChosen(const QString& Path);

private:
    void SaveClicked();
    void OpenClicked();
    QByteArray ViewText();
    bool WriteCsv(QIODevice& Out) const;

    QWidget* FWindow;
    TLogSource FSource;
    TCommLogView& FView;
    QFrame* Panel1 = nullptr;
    QPushButton* btnOpen = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnClear = nullptr;
    QString FSaveFolder;
};
