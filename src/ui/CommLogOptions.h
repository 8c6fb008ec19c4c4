#pragma once
// The command log's options bar: how the lines read, which packets the filter shows, and how many
// packets the log keeps.
#include "ui/CommLogPart.h"

#include <QList>
#include <QObject>

#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QToolButton;

class TCommLogOptions : public QObject {
    Q_OBJECT
public:
    // The controls are Window's children; Bar holds them.
    explicit TCommLogOptions(QWidget* Window);
    QWidget* Bar() const;
    QList<QWidget*> TabOrder() const;

    // The choices of how the lines read; the device's part of the options is the log's.
    TLogOptions Lines() const;
    // A matrix sensor's data packets stay out of the log while this is checked.
    bool SuppressDataPackets() const;
    void ShowSuppression(bool Visible);
    void ShowKeep(int64_t Packets);
    // A log opened from a file keeps what it holds.
    void SetReadOnly();
    // The filter menu anew: the directions and updates, then one item per command of Commands.
    void ShowFilter(const TLogFilter& Filter, const std::vector<std::pair<int32_t, std::string>>& Commands);
    // Filter as the menu's items have it; identifiers the menu does not list keep their state.
    void ReadFilter(TLogFilter& Filter) const;

signals:
    void LinesChanged();
    void KeepChosen(qint64 Packets);
    void FilterEdited();

private:
    void BuildFilterButton();
    void Place();

    QFrame* Panel7 = nullptr;
    QCheckBox* cbShowIDDescr = nullptr;
    QCheckBox* cbEvaluateErrorCodes = nullptr;
    QCheckBox* cbSuppressDataPackets = nullptr;
    QCheckBox* cbTimeStamps = nullptr;
    QCheckBox* cbDecodeFields = nullptr;
    QToolButton* btnFilter = nullptr;
    QMenu* FFilterMenu = nullptr;
    QComboBox* cbKeep = nullptr;
    QWidget* FKeepLabel = nullptr;
};
