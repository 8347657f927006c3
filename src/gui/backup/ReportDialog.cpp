#include "gui/backup/ReportDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/common/CoreText.h"
#include "gui/common/WindowTitle.h"
#include "gui/common/ZubDialog.h"

namespace zub {

TReportDialog::TReportDialog(const TReport& report, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ReportDialog"));
  setWindowTitle(FromCore(report.Caption));
  setFont(DialogFont());
  auto* layout = new QVBoxLayout(this);
  auto* lines = new QPlainTextEdit(this);
  lines->setObjectName(QStringLiteral("Lines"));
  lines->setReadOnly(true);
  lines->setLineWrapMode(QPlainTextEdit::NoWrap);
  for (const std::string& line : report.Lines) lines->appendPlainText(FromCore(line));
  lines->moveCursor(QTextCursor::Start);
  layout->addWidget(lines);

  auto* buttons = new QDialogButtonBox(this);
  buttons->setObjectName(QStringLiteral("Buttons"));
  const auto add = [&](const QString& text, const char* name, int result) {
    QPushButton* b = buttons->addButton(text, QDialogButtonBox::ActionRole);
    b->setObjectName(QString::fromLatin1(name));
    connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
    return b;
  };
  if (report.Question.empty()) {
    add(QStringLiteral("OK"), "OKButton", mrOk)->setDefault(true);
  } else {
    auto* question = new QLabel(FromCore(report.Question), this);
    question->setObjectName(QStringLiteral("Question"));
    question->setTextFormat(Qt::PlainText);
    question->setWordWrap(true);
    layout->addWidget(question);
    add(QStringLiteral("Yes"), "YesButton", mrYes);
    QPushButton* no = add(QStringLiteral("No"), "NoButton", mrNo);
    no->setDefault(true);
    no->setFocus();
  }
  layout->addWidget(buttons);
  resize(420, 360);
  KeepExactTitle(*this);
}

}  // namespace zub
