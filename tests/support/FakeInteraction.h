// A scripted IInteraction for tests: records everything the core shows and answers the
// prompts from queues. A prompt with no queued answer is answered as cancelled (false, no
// file, mrCancel) and counted in Unanswered, so a test can assert that nothing was asked.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands/Backup.h"
#include "commands/Interaction.h"

namespace zub::test {

struct TBox {
  std::string Caption;
  std::string Text;
  bool operator==(const TBox&) const = default;
};

// One queued answer of ShowModal: optionally checks the form, may change its model first.
struct TModalAnswer {
  std::optional<TFormId> Expect;  // the form the answer is meant for; a mismatch is recorded
  int Result = mrCancel;
  std::function<void()> Before;  // runs before the form "closes", e.g. picks an item
};

// A progress window that records what it was shown and presses Cancel on cue.
struct TFakeProgress {
  std::string Caption;
  std::vector<TRunProgress> Updates;
  bool Closed = false;
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
  std::vector<std::string> FolderCaptions;
  std::vector<TFakeProgress> Progress;  // every progress window, in order
  std::vector<TReport> Reports;

  // The scripted answers, consumed front first.
  std::deque<bool> ConfirmAnswers;
  std::deque<std::optional<std::string>> OpenAnswers;
  std::deque<std::optional<std::string>> SaveAnswers;
  std::deque<TModalAnswer> ModalAnswers;
  std::deque<bool> LaunchAnswers;
  std::deque<std::optional<std::string>> FolderAnswers;
  // Per progress window in order: Cancel once this many sections are done; none: to the end.
  std::deque<std::optional<std::size_t>> CancelAfter;
  std::deque<bool> ReportAnswers;  // the questions under reports: true for Yes
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
    FolderCaptions.clear();
    Progress.clear();
    Reports.clear();
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
  std::optional<std::string> ChooseFolder(const std::string& caption) override {
    FolderCaptions.push_back(caption);
    return Next(FolderAnswers, std::optional<std::string>());
  }
  std::unique_ptr<IProgress> BeginProgress(const std::string& caption,
                                           std::atomic<bool>& stop) override {
    Progress.push_back({caption, {}, false});
    std::optional<std::size_t> after;
    if (!CancelAfter.empty()) {
      after = CancelAfter.front();
      CancelAfter.pop_front();
    }
    return std::make_unique<TWindow>(*this, Progress.size() - 1, stop, after);
  }
  bool ShowReport(const TReport& report) override {
    Reports.push_back(report);
    return !report.Question.empty() && Next(ReportAnswers, false);
  }

 private:
  class TWindow : public IProgress {
   public:
    TWindow(FakeInteraction& ui, std::size_t index, std::atomic<bool>& stop,
            std::optional<std::size_t> after)
        : ui_(ui), index_(index), stop_(stop), after_(after) {
      if (after_ == 0u) stop_ = true;
    }
    ~TWindow() override { ui_.Progress[index_].Closed = true; }
    void Update(const TRunProgress& p) override {
      ui_.Progress[index_].Updates.push_back(p);
      if (p.SectionsDone && after_ && ++done_ == *after_) stop_ = true;
    }

   private:
    FakeInteraction& ui_;
    std::size_t index_;
    std::atomic<bool>& stop_;
    std::optional<std::size_t> after_;
    std::size_t done_ = 0;
  };

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
