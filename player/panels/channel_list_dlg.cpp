#include "player/panels/channel_list_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include "controls/font_aliases.h"
#include "tuner/wrapper/station_table.h"

namespace {

using tevalo::panels::PromptAnswer;
using tevalo::panels::PromptButtons;

constexpr char kUnsavedQuestion[] = "リストが変更されました. セーブしますか";

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }

}  // namespace

// Renames end here, so that the editor's rules decide what the row shows and what is stored.
class CChannelListDlg::LabelDelegate : public QStyledItemDelegate {
 public:
  LabelDelegate(CChannelListDlg* dialog) : QStyledItemDelegate(dialog), m_dialog(dialog) {}
  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) m_dialog->OnLabelEdited(index.row(), line->text());
  }

 private:
  CChannelListDlg* m_dialog;
};

CChannelListDlg::CChannelListDlg(tevalo::panels::IChannelListStore& store,
                                 tevalo::panels::IPanelPrompter& prompter, IChannelSearchRunner* runner,
                                 QWidget* parent)
    : QDialog(parent), m_editor(store), m_prompter(prompter), m_runner(runner) {
  setWindowTitle(QStringLiteral("チャンネルリストの設定"));
  setFont(PointFont(QStringLiteral("ＭＳ ゴシック"), 10));
  setFixedSize(276, 372);

  m_pCombo = new QComboBox(this);
  m_pCombo->setObjectName(QStringLiteral("1101"));
  m_pCombo->setEditable(false);  // a drop-down list: the text part cannot be typed into
  m_pCombo->setGeometry(12, 12, 252, 24);

  m_pList = new QTableWidget(kRows, 2, this);
  m_pList->setObjectName(QStringLiteral("1102"));
  m_pList->setGeometry(12, 44, 252, 280);
  m_pList->setHorizontalHeaderLabels({QStringLiteral("チャンネル"), QStringLiteral("No.")});
  m_pList->horizontalHeaderItem(1)->setTextAlignment(Qt::AlignCenter);
  m_pList->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  m_pList->setColumnWidth(0, 150);
  m_pList->setColumnWidth(1, 40);
  m_pList->verticalHeader()->hide();
  m_pList->verticalHeader()->setDefaultSectionSize(18);
  m_pList->setShowGrid(true);
  m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
  m_pList->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  m_pList->setItemDelegateForColumn(0, new LabelDelegate(this));
  for (int i = 0; i < kRows; ++i) {
    auto* name = new QTableWidgetItem();
    name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    name->setCheckState(Qt::Unchecked);
    auto* uhf = new QTableWidgetItem(QString::number(i + 13));
    uhf->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    uhf->setTextAlignment(Qt::AlignCenter);
    m_pList->setItem(i, 0, name);
    m_pList->setItem(i, 1, uhf);
  }

  m_pOk = new QPushButton(QStringLiteral("OK"), this);
  m_pApply = new QPushButton(QStringLiteral("適用"), this);
  m_pCancel = new QPushButton(QStringLiteral("キャンセル"), this);
  m_pOk->setDefault(true);
  m_pOk->setGeometry(12, 334, 78, 26);
  m_pApply->setGeometry(99, 334, 78, 26);
  m_pCancel->setGeometry(186, 334, 78, 26);

  connect(m_pOk, &QPushButton::clicked, this, &CChannelListDlg::OnOK);
  connect(m_pApply, &QPushButton::clicked, this, &CChannelListDlg::Apply);
  connect(m_pCancel, &QPushButton::clicked, this, &CChannelListDlg::reject);
  connect(m_pList, &QTableWidget::itemChanged, this, &CChannelListDlg::OnItemChanged);
  connect(m_pCombo, &QComboBox::currentIndexChanged, this, &CChannelListDlg::OnAreaChange);
}

CChannelListDlg::~CChannelListDlg() = default;

QPushButton* CChannelListDlg::Button(int id) const {
  switch (id) {
    case 1:
      return m_pOk;
    case kApplyButton:
      return m_pApply;
    case 2:
      return m_pCancel;
    default:
      return nullptr;
  }
}

bool CChannelListDlg::OnInitDialog() {
  m_filling = true;
  m_pCombo->clear();
  for (const auto& name : StationTable::kAreaName) m_pCombo->addItem(Q(std::u16string(name)));
  m_pCombo->setCurrentIndex(StationTable::IsArea(m_nArea) ? m_nArea : -1);
  m_filling = false;
  m_editor.Open(m_nArea);
  FillRows();
  return true;
}

int CChannelListDlg::DoModal() {
  if (!OnInitDialog()) return QDialog::Rejected;
  return exec();
}

void CChannelListDlg::FillRows() {
  m_filling = true;
  for (int i = 0; i < kRows; ++i) {
    QTableWidgetItem* item = m_pList->item(i, 0);
    item->setText(Q(m_editor.RowText(i)));
    item->setCheckState(m_editor.RowTicked(i) ? Qt::Checked : Qt::Unchecked);
  }
  m_pList->setCurrentCell(m_nCurrentRow, 0);
  m_pList->selectRow(m_nCurrentRow);
  m_pList->setFocus();
  m_filling = false;
}

void CChannelListDlg::OnItemChanged(QTableWidgetItem* item) {
  if (m_filling || !item || item->column() != 0) return;
  m_editor.SetTicked(item->row(), item->checkState() == Qt::Checked);
}

void CChannelListDlg::OnLabelEdited(int row, const QString& text) {
  const std::u16string shown = m_editor.EndLabelEdit(row, text.toStdU16String());
  m_filling = true;
  m_pList->item(row, 0)->setText(Q(shown));
  m_filling = false;
}

void CChannelListDlg::Apply() {
  m_editor.Apply();
  m_nCurrentRow = 0;
  m_pList->setCurrentCell(0, 0);
  m_pList->selectRow(0);
  m_pList->setFocus();
}

void CChannelListDlg::OnOK() {
  if (m_searching) return;
  Apply();
  if (!m_runner) {
    accept();
    return;
  }
  // The search blocks for seconds: it runs off the GUI thread while the dialog waits for it.
  m_searching = true;
  setEnabled(false);
  setCursor(Qt::WaitCursor);
  QPointer<CChannelListDlg> self(this);
  m_runner->SearchEditedList(m_nArea, m_editor.SearchList(), [self] {
    if (!self) return;
    self->m_searching = false;
    self->setEnabled(true);
    self->unsetCursor();
    self->accept();
  });
}

void CChannelListDlg::OnAreaChange(int comboIndex) {
  if (m_filling || comboIndex < 0 || comboIndex == m_nArea) return;
  if (!m_editor.Saved()) {
    const PromptAnswer answer =
        m_prompter.Ask(QString::fromUtf8(kUnsavedQuestion), QString::fromUtf8(tevalo::panels::kWarningTitle),
                       PromptButtons::YesNoCancel);
    if (answer == PromptAnswer::Cancel) {
      m_filling = true;
      m_pCombo->setCurrentIndex(m_nArea);
      m_filling = false;
      return;
    }
    if (answer == PromptAnswer::Yes) m_editor.Apply();
  }
  m_editor.SwitchArea(comboIndex);
  m_nArea = comboIndex;
  FillRows();
  m_pCombo->setFocus();
}

bool CChannelListDlg::eventFilter(QObject* watched, QEvent* event) {
  // Escape and Enter neither close the dialog nor reach the control that has the focus.
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    auto* widget = qobject_cast<QWidget*>(watched);
    if ((key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) && widget &&
        (widget == this || isAncestorOf(widget))) {
      event->accept();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CChannelListDlg::showEvent(QShowEvent* event) {
  qApp->installEventFilter(this);
  QDialog::showEvent(event);
}

void CChannelListDlg::hideEvent(QHideEvent* event) {
  qApp->removeEventFilter(this);
  QDialog::hideEvent(event);
}

void CChannelListDlg::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CChannelListDlg::reject() {
  // The dialog waits for its search.
  if (m_searching) return;
  QDialog::reject();
}
