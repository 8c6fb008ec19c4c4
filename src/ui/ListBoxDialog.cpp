#include "ui/ListBoxDialog.h"

#include "ui/DialogCentering.h"
#include "platform/ErrorGuard.h"
#include "ui/MIVListBox.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {
void Hint(QWidget* W, const QString& Text) {
    W->setToolTip(Text);
    W->setStatusTip(Text);
}
} // namespace

TListBoxDlg::TListBoxDlg(QWidget* Parent)
    : QDialog(Parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setMinimumSize(327, 218);

    ListBox = new TMIVListBox(this);
    ListBox->setObjectName(QStringLiteral("ListBox"));
    ListBox->AddSection(QStringLiteral("Description"), 165);
    ListBox->AddSection(QStringLiteral("Value"), 141);
    ListBox->Header()->SetSortColor(palette().color(QPalette::ToolTipBase));
    ListBox->Painter().SetItemHeight(16);
    Hint(ListBox, QStringLiteral("Click a column header to sort by it"));

    btnRefresh = new QPushButton(QStringLiteral("&refresh"), this);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    btnRefresh->setAutoDefault(false);
    btnRefresh->hide();
    Hint(btnRefresh, QStringLiteral("Read the values again"));
    btnClose = new QPushButton(QStringLiteral("&close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    Hint(btnClose, QStringLiteral("Close the list"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnRefresh);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListBox, 1);
    layout->addLayout(buttons);
    setTabOrder(ListBox, btnRefresh);
    setTabOrder(btnRefresh, btnClose);

    connect(btnRefresh, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnRefreshClick(); }); });
    connect(btnClose, &QPushButton::clicked, this, [this] { RunGuarded([this] { reject(); }); });
}

void TListBoxDlg::AddRow(const QString& Description, const QString& Value) {
    ListBox->AddItem(Description + u';' + Value);
}

void TListBoxDlg::Clear() {
    ListBox->Clear();
}

void TListBoxDlg::SetRefreshHandler(TListBoxRefreshEvent Handler) {
    FRefresh = std::move(Handler);
    btnRefresh->setVisible(bool(FRefresh));
}

void TListBoxDlg::ShowList() {
    // A long description would take the width from the values and leave them as dots; the
    // dialog opens wider instead, as far as the screen allows.
    const int total = ListBox->Section(0).Width + ListBox->Section(1).Width;
    const int wanted =
        ListBox->Count() > 0 ? ListBox->Painter().ContentWidth(0) + ListBox->Painter().ContentWidth(1) : 0;
    if (wanted > total && !testAttribute(Qt::WA_Resized)) {
        const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
        const QSize hint = sizeHint();
        const int room = screen->availableGeometry().width() * 9 / 10 - hint.width();
        const int extra = std::clamp(wanted - total, 0, std::max(0, room));
        ListBox->Section(1).Width += extra;
        ListBox->SectionsChanged();
        resize(hint.width() + extra, hint.height());
    }
    ListBox->FitColumn(0);
    ListBox->setFocus();
    if (ListBox->Count() > 0 && ListBox->ItemIndex() < 0)
        ListBox->List()->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    ExecDialogCentered(this);
    SetRefreshHandler(nullptr);
}

void TListBoxDlg::btnRefreshClick() {
    if (!FRefresh)
        return;
    // A copy: the handler may set another handler while it runs. It refills the rows, which
    // then take the order the header shows.
    auto handler = FRefresh;
    handler(this);
    ListBox->Resort();
}
