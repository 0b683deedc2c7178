#include "player/panels/area_select_dlg.h"

#include <QFontMetrics>
#include <QListWidget>
#include <QPushButton>

#include "controls/font_aliases.h"
#include "tuner/wrapper/station_table.h"

namespace {

// The template's size is in dialog units of its font: a quarter of the average character width
// across, an eighth of the character height down.
QSize DialogUnitsToPixels(const QFont& font, int x, int y) {
  const QFontMetrics fm(font);
  const int avg =
      (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 +
       1) /
      2;
  return {x * avg / 4, y * fm.height() / 8};
}

}  // namespace

CAreaSelectDlg::CAreaSelectDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("地域選択"));
  setFont(PointFont(QStringLiteral("ＭＳ 明朝"), 9));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  const QSize size = DialogUnitsToPixels(font(), 143, 174);
  setFixedSize(size);
  const int margin = 10, buttonH = 24, buttonW = 72;
  m_pList = new QListWidget(this);
  m_pList->setObjectName(QStringLiteral("1098"));
  m_pList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
  m_pList->setGeometry(margin, margin, size.width() - 2 * margin, size.height() - 3 * margin - buttonH);
  m_pOk = new QPushButton(QStringLiteral("OK"), this);
  m_pCancel = new QPushButton(QStringLiteral("キャンセル"), this);
  m_pOk->setDefault(true);
  const int y = size.height() - margin - buttonH;
  m_pCancel->setGeometry(size.width() - margin - buttonW, y, buttonW, buttonH);
  m_pOk->setGeometry(size.width() - 2 * margin - 2 * buttonW, y, buttonW, buttonH);
  connect(m_pOk, &QPushButton::clicked, this, &CAreaSelectDlg::OnOK);
  connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

CAreaSelectDlg::~CAreaSelectDlg() = default;

bool CAreaSelectDlg::OnInitDialog() {
  m_pList->clear();
  for (const auto& name : StationTable::kAreaName)
    m_pList->addItem(QString::fromStdU16String(std::u16string(name)));
  if (StationTable::IsArea(m_nSelected)) {
    m_pList->setCurrentRow(m_nSelected);
    m_pList->scrollToItem(m_pList->currentItem());
  }
  return true;
}

int CAreaSelectDlg::DoModal() {
  if (!OnInitDialog()) return QDialog::Rejected;
  return exec();
}

void CAreaSelectDlg::OnOK() {
  const auto selected = m_pList->selectedItems();
  m_nSelected = selected.isEmpty() ? -1 : m_pList->row(selected.front());
  accept();
}
