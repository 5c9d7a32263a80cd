#include "search/search_dialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/listbox.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>
#include <wx/weakref.h>

#include <array>
#include <memory>
#include <mutex>
#include <thread>

#include "core/settings.h"
#include "core/site_table.h"
#include "core/ui_door.h"
#include "mainwin/avi_player.h"
#include "mainwin/display_text.h"
#include "resources/resource_module.h"
#include "search/engine.h"
#include "search/search_run.h"
#include "search/search_view.h"

namespace qb {

namespace {

constexpr int SearchTemplate = 30;
constexpr int AnimationControl = 300;
constexpr int StartButton = 200;
constexpr int StopButton = 178;

const wxColour WindowColour(225, 220, 180);
const wxColour EditColour(170, 230, 240);
const wxColour FoundListColour(240, 255, 255);
const wxColour DisabledFoundListColour(192, 192, 192);  // the platform's light grey brush

// Found lists in member order, each with the engine box that enables it.
struct FoundListSlot {
  int list;
  int box;
};
constexpr std::array<FoundListSlot, EngineCount> FoundLists = {
    {{104, 101}, {114, 800}, {121, 103}, {128, 187}, {122, 118}}};

const int MarkIds[] = {240, 241, 242, 108, 125, 110, 111, 112, 113, 115};

std::mutex hookLock;
SearchMessageHook messageHook;

wxDialog* openDialog = nullptr;  // UI thread only

// The message box flags of the style values the run passes.
long MessageFlags(int style) {
  long flags = (style & 0xF) == 4 ? wxYES_NO : wxOK;
  switch (style & 0xF0) {
    case 0x10:
      flags |= wxICON_ERROR;
      break;
    case 0x20:
      flags |= wxICON_QUESTION;
      break;
    case 0x30:
      flags |= wxICON_EXCLAMATION;
      break;
    case 0x40:
      flags |= wxICON_INFORMATION;
      break;
    default:
      break;
  }
  if (style & 0x100) flags |= wxNO_DEFAULT;
  return flags;
}

class TDS : public wxDialog {
 public:
  TDS() = default;

  bool Create(wxWindow* parent) {
    if (!ResourceModule::LoadDialog(this, parent, SearchTemplate)) return false;
    SetUp();
    return true;
  }

  // What the search threads show, run on the UI thread.
  void ShowNumber(int id, int value) {
    if (auto* field = dynamic_cast<wxTextCtrl*>(FindWindow(id)))
      field->ChangeValue(wxString::Format("%d", value));
  }
  void ClearField(int id) {
    if (auto* field = dynamic_cast<wxTextCtrl*>(FindWindow(id))) field->ChangeValue(wxString());
  }
  void AddFound(int listId, const std::string& url) {
    if (auto* list = dynamic_cast<wxListBox*>(FindWindow(listId))) list->Append(ToDisplayText(url));
  }
  void ShowMark(int id) {
    if (wxWindow* mark = FindWindow(id)) mark->Show();
  }
  bool IsBoxTicked(int id) {
    auto* box = dynamic_cast<wxCheckBox*>(FindWindow(id));
    return box && box->GetValue();
  }
  std::string Term(int maxChars) {
    auto* field = dynamic_cast<wxTextCtrl*>(FindWindow(TermField));
    if (!field || maxChars <= 0) return {};
    std::string term = field->GetValue().utf8_string();
    if (term.size() > static_cast<std::size_t>(maxChars)) {
      // Cut before a character that would not fit whole.
      std::size_t n = static_cast<std::size_t>(maxChars);
      while (n > 0 && (static_cast<unsigned char>(term[n]) & 0xC0) == 0x80) --n;
      term.resize(n);
    }
    return term;
  }
  bool Ask(int stringId, const char* caption, int style) {
    SearchMessageHook hook;
    {
      std::lock_guard<std::mutex> hold(hookLock);
      hook = messageHook;
    }
    const std::string title = caption ? caption : "";
    if (hook) return hook(stringId, title, style);
    wxMessageDialog box(this, ResourceModule::String(stringId), wxString::FromUTF8(title.c_str()),
                        MessageFlags(style));
    const int answer = box.ShowModal();
    return answer == wxID_YES || answer == wxID_OK;
  }
  void PlayAnimation() {
    if (AviPlayer* player = Animation()) player->Play();
  }
  void StopAnimation() {
    if (AviPlayer* player = Animation()) player->Stop();
  }
  void PostOk() {
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    ok.SetEventObject(this);
    GetEventHandler()->AddPendingEvent(ok);
  }

 private:
  AviPlayer* Animation() { return dynamic_cast<AviPlayer*>(FindWindow(AnimationControl)); }

  void SetUp() {
    SetBackgroundColour(WindowColour);
    // Without the clip the control stays empty and the dialog works on.
    if (AviPlayer* player = Animation()) player->Open(ExeDir + "ZEVO.avi");
    if (auto* box = dynamic_cast<wxCheckBox*>(FindWindow(AutoContinueBox)))
      box->SetValue(AutoContinue);
    for (int i = 0; i < EngineCount; ++i) {
      if (auto* box = dynamic_cast<wxCheckBox*>(FindWindow(Engine(i).checkBox)))
        box->SetValue(EngineEnabled[i]);
    }
    for (wxWindow* child : GetChildren()) {
      auto* field = dynamic_cast<wxTextCtrl*>(child);
      if (field && field->GetId() != TermField) field->SetBackgroundColour(EditColour);
    }
    for (const FoundListSlot& slot : FoundLists) PaintFoundList(slot.list);
  }

  void PaintFoundList(int id) {
    if (wxWindow* list = FindWindow(id)) {
      list->SetBackgroundColour(list->IsEnabled() ? FoundListColour : DisabledFoundListColour);
      list->Refresh();
    }
  }

  void CmStart(wxCommandEvent&) {
    SearchRunning = true;
    ClearField(SiteCountField);
    for (int id : MarkIds) {
      if (wxWindow* mark = FindWindow(id)) mark->Hide();
    }
    for (const FoundListSlot& slot : FoundLists) {
      if (auto* list = dynamic_cast<wxListBox*>(FindWindow(slot.list))) list->Clear();
    }
    std::thread(RunSearch).detach();
  }

  void CmStop(wxCommandEvent&) {
    SearchRunning = false;
    StopAnimation();
    if (auto* box = dynamic_cast<wxCheckBox*>(FindWindow(AutoContinueBox))) box->SetValue(false);
  }

  void CmEngineBox(wxCommandEvent& event) {
    for (const FoundListSlot& slot : FoundLists) {
      if (slot.box != event.GetId()) continue;
      if (wxWindow* list = FindWindow(slot.list)) list->Enable(IsBoxTicked(slot.box));
      PaintFoundList(slot.list);
    }
  }

  void EnableStart(wxUpdateUIEvent& event) { event.Enable(!SearchRunActive); }
  void EnableStop(wxUpdateUIEvent& event) { event.Enable(SearchRunActive); }
  void EnableOk(wxUpdateUIEvent& event) {
    event.Enable(SiteTable.count >= 1 && !(SearchRunning && SearchRunActive));
  }

  wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(TDS, wxDialog)
  EVT_BUTTON(StartButton, TDS::CmStart)
  EVT_BUTTON(StopButton, TDS::CmStop)
  EVT_CHECKBOX(101, TDS::CmEngineBox)
  EVT_CHECKBOX(103, TDS::CmEngineBox)
  EVT_CHECKBOX(800, TDS::CmEngineBox)
  EVT_CHECKBOX(187, TDS::CmEngineBox)
  EVT_CHECKBOX(118, TDS::CmEngineBox)
  EVT_UPDATE_UI(StartButton, TDS::EnableStart)
  EVT_UPDATE_UI(StopButton, TDS::EnableStop)
  EVT_UPDATE_UI(wxID_OK, TDS::EnableOk)
wxEND_EVENT_TABLE()

// The search threads' side of the dialog. Every call is carried to the UI thread;
// there the weak reference tells whether the dialog still exists, so updates
// that arrive after it closed are dropped where that check cannot race.
class DialogView final : public SearchView, public std::enable_shared_from_this<DialogView> {
 public:
  explicit DialogView(TDS* dialog) : dialog_(dialog) {}
  // UI thread: from now on every call is dropped.
  void Detach() { dialog_.Release(); }

  void SetNumber(int id, int value) override {
    Post([id, value](TDS& d) { d.ShowNumber(id, value); });
  }
  void ClearText(int id) override {
    Post([id](TDS& d) { d.ClearField(id); });
  }
  void AddFound(int listId, const std::string& url) override {
    Post([listId, url](TDS& d) { d.AddFound(listId, url); });
  }
  void ShowMark(int id) override {
    Post([id](TDS& d) { d.ShowMark(id); });
  }
  bool IsChecked(int id) override {
    return Ask([id](TDS& d) { return d.IsBoxTicked(id); });
  }
  std::string ReadTerm(int maxChars) override {
    std::string term;
    Ask([&term, maxChars](TDS& d) {
      term = d.Term(maxChars);
      return true;
    });
    return term;
  }
  bool Message(int stringId, const char* caption, int style) override {
    const std::string title = caption ? caption : "";
    const bool hasCaption = caption != nullptr;
    return Ask([stringId, title, hasCaption, style](TDS& d) {
      return d.Ask(stringId, hasCaption ? title.c_str() : nullptr, style);
    });
  }
  void PlayAnimation() override {
    Post([](TDS& d) { d.PlayAnimation(); });
  }
  void StopAnimation() override {
    Post([](TDS& d) { d.StopAnimation(); });
  }
  void PostOk() override {
    Post([](TDS& d) { d.PostOk(); });
  }

 private:
  template <class Action>
  void Post(Action action) {
    PostToUi([self = shared_from_this(), action] {
      if (TDS* d = self->dialog_) action(*d);
    });
  }
  template <class Question>
  bool Ask(Question question) {
    return AskOnUi([self = shared_from_this(), question]() mutable {
      TDS* d = self->dialog_;
      return d ? question(*d) : false;
    });
  }

  wxWeakRef<TDS> dialog_;  // UI thread only
};

}  // namespace

wxDialog* OpenSearchDialog() { return openDialog; }

void SetSearchMessageHook(SearchMessageHook hook) {
  std::lock_guard<std::mutex> hold(hookLock);
  messageHook = std::move(hook);
}

bool RunSearchDialog(wxWindow* parent) {
  SearchRunActive = false;
  auto* dialog = new TDS;
  if (!dialog->Create(parent)) {
    delete dialog;
    return false;
  }
  auto view = std::make_shared<DialogView>(dialog);
  openDialog = dialog;
  SetSearchDialog(view);
  const int result = dialog->ShowModal();
  SetSearchDialog(nullptr);
  SearchRunning = false;
  view->Detach();
  openDialog = nullptr;
  dialog->Destroy();
  if (result == wxID_OK) std::thread(QueryReport, GetReportTerm()).detach();
  return result == wxID_OK;
}

}  // namespace qb
