// StatusForm: a borderless popup with the centred word "Status". Created with the other forms;
// no command shows it.
#pragma once

#include <QWidget>
#include <memory>

namespace zub {

namespace Ui {
class TStatusForm;
}

class TStatusForm : public QWidget {
  Q_OBJECT

 public:
  explicit TStatusForm(QWidget* parent);
  ~TStatusForm() override;

 private:
  std::unique_ptr<Ui::TStatusForm> ui;
};

}  // namespace zub
