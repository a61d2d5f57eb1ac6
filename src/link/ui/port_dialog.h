#pragma once
// "Порт прибора": the operator picks the port for downloads among the
// detected ones, or the automatic search. OK stores the choice in the
// settings; the next download uses it.
#include <QDialog>

#include "link/port_list_model.h"

class QTreeView;
class QPushButton;

class PortDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PortDialog(QWidget* parent = nullptr);

  const PortListModel& model() const { return model_; }
  // The value the dialog would store for the selected row.
  QString SelectedChoice() const;

  void accept() override;

 private:
  void Refresh(const QString& choice);

  PortListModel model_;
  QTreeView* view_;
  QPushButton* refresh_;
};
