#include "mainwin/exploration_display.h"

#include <wx/gauge.h>

#include "core/controls.h"
#include "ui/avi_player.h"

namespace qb {

namespace {
class ExplorationDisplay : public ExplorationView {
 public:
  explicit ExplorationDisplay(std::shared_ptr<WindowLink<wxWindow>> link)
      : link_(std::move(link)) {}

  void SetNumber(int controlId, int value) override {
    link_->Post([controlId, value](wxWindow& d) {
      if (auto* w = d.FindWindow(controlId)) w->SetLabel(wxString::Format("%d", value));
    });
  }
  void SetProgress(int percent) override {
    link_->Post([percent](wxWindow& d) {
      if (auto* gauge = dynamic_cast<wxGauge*>(d.FindWindow(IdProgress))) gauge->SetValue(percent);
    });
  }
  void PlayAnimation() override {
    link_->Post([](wxWindow& d) {
      if (auto* a = dynamic_cast<AviPlayer*>(d.FindWindow(IdAnimation))) a->Play();
    });
  }
  void StopAnimation() override {
    link_->Post([](wxWindow& d) {
      if (auto* a = dynamic_cast<AviPlayer*>(d.FindWindow(IdAnimation))) a->Stop();
    });
  }

 private:
  std::shared_ptr<WindowLink<wxWindow>> link_;
};
}  // namespace

std::shared_ptr<ExplorationView> MakeExplorationDisplay(
    std::shared_ptr<WindowLink<wxWindow>> mainDialog) {
  return std::make_shared<ExplorationDisplay>(std::move(mainDialog));
}

}  // namespace qb
