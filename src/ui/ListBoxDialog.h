#pragma once
// (description, value) rows in a two-column sortable list with an optional refresh button.
// Created for each use and freed after it closes.
#include <QDialog>

#include <functional>

class QPushButton;
class TMIVListBox;
class TListBoxDlg;

using TListBoxRefreshEvent = std::function<void(TListBoxDlg* Sender)>;

class TListBoxDlg : public QDialog {
    Q_OBJECT
public:
    explicit TListBoxDlg(QWidget* Parent = nullptr);

    void AddRow(const QString& Description, const QString& Value);
    void Clear();
    // btnRefresh is visible exactly while a handler is set.
    void SetRefreshHandler(TListBoxRefreshEvent Handler);
    // Fits the first column (opening wider when the values would no longer fit), shows modally,
    // then hides btnRefresh and forgets the handler.
    void ShowList();
    // What "&refresh" does: runs the handler, if one is set, and sorts the new rows.
    void btnRefreshClick();

private:
    TMIVListBox* ListBox = nullptr;
    QPushButton* btnRefresh = nullptr;
    QPushButton* btnClose = nullptr;

    TListBoxRefreshEvent FRefresh;
};
