// A scripted user that also notices a dialog shown while the device connection is open (the
// commands close it before they ask anything) and keeps what the save-slot dialog listed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Manager.h"
#include "support/FakeInteraction.h"

namespace zub::test {

class WatchingUI : public FakeInteraction {
 public:
  TManager* Core = nullptr;
  int AskedWhileOpen = 0;
  std::vector<std::string> Prompts;
  std::vector<std::vector<TCheckLine>> Listings;

  std::optional<std::string> OpenFile(const std::string& filter) override {
    Watch();
    return FakeInteraction::OpenFile(filter);
  }
  std::optional<std::string> SaveFile() override {
    Watch();
    return FakeInteraction::SaveFile();
  }
  int ShowModal(TFormId form) override {
    Watch();
    if (form == TFormId::SaveSlotForm) {
      Prompts.push_back(Core->SaveSlotForm.Label1);
      Listings.push_back(Core->SaveSlotForm.Lines);
    }
    return FakeInteraction::ShowModal(form);
  }

 private:
  void Watch() {
    if (Core && Core->NVM->PortOpen()) ++AskedWhileOpen;
  }
};

}  // namespace zub::test
