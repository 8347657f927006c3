// A scripted IInteraction for tests: records everything the core shows and answers the
// prompts from queues. A prompt with no queued answer is answered as cancelled (false, no
// file, mrCancel) and counted in Unanswered, so a test can assert that nothing was asked.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "commands/Interaction.h"

namespace zub::test {

struct TBox {
  std::string Caption;
  std::string Text;
  bool operator==(const TBox&) const = default;
  // How a failed expectation shows it.
  friend void PrintTo(const TBox& box, std::ostream* out) {
    *out << "{\"" << box.Caption << "\", \"" << box.Text << "\"}";
  }
};

// One queued answer of ShowModal: optionally checks the form, may change its model first.
struct TModalAnswer {
  std::optional<TFormId> Expect;  // the form the answer is meant for; a mismatch is recorded
  int Result = mrCancel;
  std::function<void()> Before;  // runs before the form "closes", e.g. picks an item
};

class FakeInteraction : public IInteraction {
 public:
  // What the core showed, in order.
  std::vector<std::string> StatusLog;
  std::vector<TBox> Boxes;
  std::vector<TBox> Confirms;
  std::vector<std::string> OpenFilters;
  int SaveDialogs = 0;
  std::vector<TFormId> ModalShown;
  std::vector<std::string> Launched;
  std::vector<std::string> Exceptions;
  int Repaints = 0;
  int ControlsChanges = 0;
  int Unanswered = 0;
  std::vector<std::string> Mismatches;  // modal answers used for another form than expected

  // The scripted answers, consumed front first.
  std::deque<bool> ConfirmAnswers;
  std::deque<std::optional<std::string>> OpenAnswers;
  std::deque<std::optional<std::string>> SaveAnswers;
  std::deque<TModalAnswer> ModalAnswers;
  std::deque<bool> LaunchAnswers;
  // Called with every status text, after it is recorded: a test can act at a chosen moment.
  std::function<void(const std::string&)> OnStatus;

  void AnswerModal(TFormId form, int result, std::function<void()> before = {}) {
    ModalAnswers.push_back({form, result, std::move(before)});
  }

  std::string LastStatus() const { return StatusLog.empty() ? std::string() : StatusLog.back(); }
  std::vector<TBox> BoxesWithCaption(const std::string& caption) const {
    std::vector<TBox> out;
    for (const auto& b : Boxes)
      if (b.Caption == caption) out.push_back(b);
    return out;
  }
  void ClearRecords() {
    StatusLog.clear();
    Boxes.clear();
    Confirms.clear();
    OpenFilters.clear();
    SaveDialogs = 0;
    ModalShown.clear();
    Launched.clear();
    Exceptions.clear();
    Repaints = 0;
    ControlsChanges = 0;
    Unanswered = 0;
    Mismatches.clear();
  }

  void Status(const std::string& text) override {
    StatusLog.push_back(text);
    if (OnStatus) OnStatus(text);
  }
  void MessageBox(const std::string& caption, const std::string& text) override {
    Boxes.push_back({caption, text});
  }
  bool Confirm(const std::string& caption, const std::string& text) override {
    Confirms.push_back({caption, text});
    return Next(ConfirmAnswers, false);
  }
  std::optional<std::string> OpenFile(const std::string& filter) override {
    OpenFilters.push_back(filter);
    return Next(OpenAnswers, std::optional<std::string>());
  }
  std::optional<std::string> SaveFile() override {
    ++SaveDialogs;
    return Next(SaveAnswers, std::optional<std::string>());
  }
  int ShowModal(TFormId form) override {
    ModalShown.push_back(form);
    if (ModalAnswers.empty()) {
      ++Unanswered;
      return mrCancel;
    }
    TModalAnswer a = std::move(ModalAnswers.front());
    ModalAnswers.pop_front();
    if (a.Expect && *a.Expect != form)
      Mismatches.push_back(std::string(FormName(form)) + " answered as " + FormName(*a.Expect));
    if (a.Before) a.Before();
    return a.Result;
  }
  // Launches succeed unless a test queued a failure.
  bool Launch(const std::string& commandLine) override {
    Launched.push_back(commandLine);
    if (LaunchAnswers.empty()) return true;
    const bool started = LaunchAnswers.front();
    LaunchAnswers.pop_front();
    return started;
  }
  void ShowException(const std::string& text) override { Exceptions.push_back(text); }
  void RepaintGrid() override { ++Repaints; }
  void ControlsChanged() override { ++ControlsChanges; }

 private:
  template <typename T>
  T Next(std::deque<T>& queue, T fallback) {
    if (queue.empty()) {
      ++Unanswered;
      return fallback;
    }
    T v = std::move(queue.front());
    queue.pop_front();
    return v;
  }
};

}  // namespace zub::test
