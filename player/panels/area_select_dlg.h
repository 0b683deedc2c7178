// "地域選択": the user picks one of the 47 broadcast areas.
#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

class CAreaSelectDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kAreaList = 1098;
  // Tokyo: the area of a first start that picked nothing.
  static constexpr int kDefaultArea = 7;

  explicit CAreaSelectDlg(QWidget* parent = nullptr);
  ~CAreaSelectDlg() override;

  // Set by the caller before the dialog runs, read after it: OK gives the selected row (-1 when
  // none is selected), Cancel leaves the caller's value.
  int m_nSelected = 0;

  bool OnInitDialog();
  // QDialog::Accepted or QDialog::Rejected.
  int DoModal();
  QListWidget* AreaList() const { return m_pList; }
  QPushButton* OkButton() const { return m_pOk; }
  QPushButton* CancelButton() const { return m_pCancel; }

  // The area a first start takes from the dialog's outcome.
  static int FirstStartArea(bool ok, int selected) { return ok && selected >= 0 ? selected : kDefaultArea; }

 public slots:
  void OnOK();

 private:
  QListWidget* m_pList = nullptr;
  QPushButton* m_pOk = nullptr;
  QPushButton* m_pCancel = nullptr;
};
