#include "searchwin/search_dialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/listbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "core/controls.h"
#include "core/program_folders.h"
#include "core/settings.h"
#include "core/site_table.h"
#include "core/ui_door.h"
#include "resources/resource_module.h"
#include "search/engine.h"
#include "search/engine_keys.h"
#include "search/engine_pages.h"
#include "search/engine_set.h"
#include "search/explored_sites.h"
#include "search/search_run.h"
#include "search/search_view.h"
#include "ui/avi_player.h"
#include "ui/colour.h"
#include "ui/display_text.h"
#include "ui/message_box.h"
#include "ui/window_link.h"

namespace qb {

namespace {

wxDialog* openDialog = nullptr;  // UI thread only

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
  void ExplainMark(int id, const std::string& why) {
    wxWindow* mark = FindWindow(id);
    if (mark && why.empty())
      mark->UnsetToolTip();
    else if (mark)
      mark->SetToolTip(ToDisplayText(why));
  }
  bool IsBoxTicked(int id) {
    auto* box = dynamic_cast<wxCheckBox*>(FindWindow(id));
    return box && box->GetValue();
  }
  bool IsBoxOffered(int id) {
    wxWindow* box = FindWindow(id);
    return box && box->IsShown() && box->IsEnabled();
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
  bool Ask(int stringId, const char* caption, MessageStyle style) {
    return ShowMessage(this, ResourceModule::String(stringId),
                       caption ? wxString::FromUTF8(caption) : wxString(), style);
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
  AviPlayer* Animation() { return dynamic_cast<AviPlayer*>(FindWindow(SearchAnimation)); }

  void SetUp() {
    SetBackgroundColour(WxColour(DialogColour));
    // Without the clip the control stays empty and the dialog works on.
    if (AviPlayer* player = Animation()) player->Open(SharedPath("ZEVO.avi"));
    if (auto* box = dynamic_cast<wxCheckBox*>(FindWindow(AutoContinueBox)))
      box->SetValue(AutoContinue);
    ShowEngineRows();
    AddExploredSitesRow();
    const KeyLookup keys = EngineKeys().Lookup();
    std::string cannot;
    for (std::size_t i = 0; i < engines_->size(); ++i) {
      const ActiveEngine& engine = (*engines_)[i];
      const EngineControls& c = engine.controls;
      auto* box = dynamic_cast<wxCheckBox*>(FindWindow(c.checkBox));
      if (box) box->SetValue(EngineEnabled[i]);
      Bind(wxEVT_CHECKBOX, &TDS::CmEngineBox, this, c.checkBox);
      // Said here, once, rather than failed at every search.
      const std::string why = EngineCannotAnswer(engine.def, keys);
      if (why.empty() || !box) continue;
      box->SetValue(false);
      box->Enable(false);
      box->SetToolTip(ToDisplayText(
          why == "no key" ? "This engine needs a key of your own: Settings, Engines, Edit."
                          : "This engine's host does not exist: Settings, Engines."));
      cannot += (cannot.empty() ? "" : ", ") + engine.def.name + " (" + why + ")";
    }
    ShowCannotAnswer(cannot);
    for (wxWindow* child : GetChildren()) {
      auto* field = dynamic_cast<wxTextCtrl*>(child);
      if (field && field->GetId() != TermField)
        field->SetBackgroundColour(WxColour(SearchEditColour));
    }
    for (const ActiveEngine& engine : *engines_) PaintFoundList(engine.controls.foundList);
    PaintFoundList(ExploredSitesControls.foundList);
    FitOverParent();
  }

  // Every row more makes the dialog taller: the found lists give up height, to
  // a least, so that it fits over its parent's client area (the screen's
  // without one) and leaves the frame's menu clear.
  void FitOverParent() {
    wxWindow* parent = GetParent();
    const int number = wxDisplay::GetFromWindow(parent ? parent : this);
    int room = wxDisplay(number == wxNOT_FOUND ? 0u : unsigned(number)).GetClientArea().height;
    if (parent) room = std::min(room, parent->GetClientSize().y);
    std::vector<wxWindow*> lists;
    for (const EngineControls& c : Rows()) {
      wxWindow* list = FindWindow(c.foundList);
      if (list && list->IsShown()) lists.push_back(list);
    }
    const int excess = GetSize().y - room;
    if (excess <= 0 || lists.empty()) return;
    const int each = (excess + static_cast<int>(lists.size()) - 1) / static_cast<int>(lists.size());
    for (wxWindow* list : lists) {
      const wxSize now = list->GetSize();
      list->SetMinSize(wxSize(list->GetMinSize().x, std::max(FromDIP(36), now.y - each)));
    }
    Layout();
    GetSizer()->SetSizeHints(this);
  }

  // One line below the engines, wrapped to the dialog's width, names those
  // that cannot answer.
  void ShowCannotAnswer(const std::string& engines) {
    if (engines.empty() || !GetSizer()) return;
    auto* note =
        new wxStaticText(this, CannotAnswerNote, ToDisplayText("Cannot answer: " + engines + "."));
    note->Wrap(std::max(FromDIP(200), GetClientSize().x - FromDIP(20)));
    GetSizer()->Add(note, wxSizerFlags().Border(wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(10)));
    Layout();
    GetSizer()->SetSizeHints(this);
  }

  // Every row the dialog shows: the explored sites' first, then the engines'.
  std::vector<EngineControls> Rows() const {
    std::vector<EngineControls> rows{ExploredSitesControls};
    for (const ActiveEngine& engine : *engines_) rows.push_back(engine.controls);
    return rows;
  }

  // The template's rows are the built-in engines': those the engine file left
  // out are hidden, and every other engine gets a row like theirs below them.
  void ShowEngineRows() {
    wxWindow* firstBox = FindWindow(EngineControlIds[0].checkBox);
    wxSizer* grid = firstBox ? firstBox->GetContainingSizer() : nullptr;
    if (!grid) return;
    for (const EngineControls& builtin : EngineControlIds) {
      bool used = false;
      for (const ActiveEngine& engine : *engines_)
        used = used || engine.controls.checkBox == builtin.checkBox;
      if (used) continue;
      for (int id :
           {builtin.checkBox, builtin.resultsCounter, builtin.newSitesCounter, builtin.foundList}) {
        if (wxWindow* control = FindWindow(id)) grid->Hide(control, true);
      }
      // The marks keep their room while hidden; a row left out must not.
      for (int id : {builtin.doneMark, builtin.failMark}) {
        wxWindow* mark = FindWindow(id);
        wxSizerItem* item = mark ? mark->GetContainingSizer()->GetItem(mark) : nullptr;
        if (item) item->SetFlag(item->GetFlag() & ~wxRESERVE_SPACE_EVEN_IF_HIDDEN);
        if (mark) mark->Hide();
      }
    }
    bool added = false;
    for (const ActiveEngine& engine : *engines_) {
      if (FindWindow(engine.controls.checkBox)) continue;
      AddEngineRow(grid, engine);
      added = true;
    }
    if (added || engines_->size() < EngineControlIds.size()) {
      Layout();
      GetSizer()->SetSizeHints(this);
    }
  }

  // The local index is asked first, so its row leads. Greyed while the index
  // holds nothing (or cannot be read): there is nothing it could find.
  void AddExploredSitesRow() {
    wxWindow* firstBox = FindWindow(EngineControlIds[0].checkBox);
    wxSizer* grid = firstBox ? firstBox->GetContainingSizer() : nullptr;
    if (!grid) return;
    std::string error;
    const std::unique_ptr<IndexDb> reader = OpenIndexReader(error);
    const bool holds = reader && IndexHoldsNames(*reader);
    const EngineControls& c = ExploredSitesControls;
    // The grid's first row holds its column headings.
    auto* cells = dynamic_cast<wxGridSizer*>(grid);
    AddEngineRow(grid, c, ExploredSitesLabel,
                 cells ? static_cast<std::size_t>(cells->GetEffectiveColsCount()) : 5);
    auto* box = dynamic_cast<wxCheckBox*>(FindWindow(c.checkBox));
    box->SetValue(holds && ExploredSitesEnabled);
    box->Enable(holds);
    box->SetToolTip(holds ? "Folders of the sites explored before whose names hold the term, "
                            "from the local index; they are not explored again."
                          : "The local index holds no explored site yet.");
    if (wxWindow* list = FindWindow(c.foundList)) list->Enable(box->GetValue());
    Bind(wxEVT_CHECKBOX, &TDS::CmEngineBox, this, c.checkBox);
    Layout();
    GetSizer()->SetSizeHints(this);
  }

  void AddEngineRow(wxSizer* grid, const ActiveEngine& engine) {
    AddEngineRow(grid, engine.controls, engine.def.name, grid->GetItemCount());
  }

  // The row's five cells, put into the grid from its item at.
  void AddEngineRow(wxSizer* grid, const EngineControls& c, const std::string& name,
                    std::size_t at) {
    const auto centred = wxSizerFlags().CentreVertical();
    grid->Insert(at++, new wxCheckBox(this, c.checkBox, ToDisplayText(name)), centred);
    for (int id : {c.resultsCounter, c.newSitesCounter}) {
      grid->Insert(at++,
                   new wxTextCtrl(this, id, wxString(), wxDefaultPosition, FromDIP(wxSize(64, -1)),
                                  wxTE_READONLY | wxTE_RIGHT),
                   centred);
    }
    auto* marks = new wxBoxSizer(wxVERTICAL);
    const struct {
      int id;
      const char* text;
      wxColour colour;
    } kinds[] = {{c.doneMark, "done", wxColour(0x00, 0x64, 0x00)},
                 {c.failMark, "failed", wxColour(0xB0, 0x00, 0x00)}};
    for (const auto& kind : kinds) {
      auto* mark = new wxStaticText(this, kind.id, kind.text);
      mark->SetForegroundColour(kind.colour);
      mark->Hide();
      marks->Add(mark, wxSizerFlags().ReserveSpaceEvenIfHidden());
    }
    grid->Insert(at++, marks, centred);
    grid->Insert(at,
                 new wxListBox(this, c.foundList, wxDefaultPosition, FromDIP(wxSize(460, 72)), 0,
                               nullptr, wxLB_SINGLE | wxLB_HSCROLL),
                 wxSizerFlags().Expand());
  }

  void PaintFoundList(int id) {
    if (wxWindow* list = FindWindow(id)) {
      list->SetBackgroundColour(
          WxColour(list->IsEnabled() ? FoundListColour : DisabledFoundListColour));
      list->Refresh();
    }
  }

  void CmStart(wxCommandEvent& event) {
    // Start stays enabled until the run has read its term; a click meanwhile
    // stops the run it started instead of starting a second one.
    if (*runInProgress_) {
      CmStop(event);
      return;
    }
    *runInProgress_ = true;
    SearchRunning = true;
    ClearField(SiteCountField);
    for (const EngineControls& c : Rows()) {
      for (int id : {c.doneMark, c.failMark}) {
        if (wxWindow* mark = FindWindow(id)) mark->Hide();
      }
      if (auto* list = dynamic_cast<wxListBox*>(FindWindow(c.foundList))) list->Clear();
    }
    runActive_->store(false);
    std::thread([running = runInProgress_, active = runActive_] {
      RunSearch([&running] { *running = false; }, [&active] { *active = true; });
    }).detach();
  }

  void CmStop(wxCommandEvent&) {
    SearchRunning = false;
    StopAnimation();
    if (auto* box = dynamic_cast<wxCheckBox*>(FindWindow(AutoContinueBox))) box->SetValue(false);
  }

  void CmEngineBox(wxCommandEvent& event) {
    for (const EngineControls& c : Rows()) {
      if (c.checkBox != event.GetId()) continue;
      if (wxWindow* list = FindWindow(c.foundList)) list->Enable(IsBoxTicked(c.checkBox));
      PaintFoundList(c.foundList);
    }
  }

  // The set the run will ask, taken when the dialog opens.
  std::shared_ptr<const std::vector<ActiveEngine>> engines_ = ActiveEngines();
  std::shared_ptr<std::atomic<bool>> runInProgress_ = std::make_shared<std::atomic<bool>>(false);
  // Set once the run has begun asking its engines: from then until it is over,
  // a click on Start could only stop a run that is ending, so Start waits.
  std::shared_ptr<std::atomic<bool>> runActive_ = std::make_shared<std::atomic<bool>>(false);

  void EnableStart(wxUpdateUIEvent& event) {
    event.Enable(!SearchRunActive && !(*runInProgress_ && *runActive_));
  }
  void EnableStop(wxUpdateUIEvent& event) { event.Enable(SearchRunActive); }
  void EnableOk(wxUpdateUIEvent& event) {
    event.Enable(SiteTable.count >= 1 && !(SearchRunning && SearchRunActive));
  }

  wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(TDS, wxDialog)
  EVT_BUTTON(SearchStartButton, TDS::CmStart)
  EVT_BUTTON(SearchStopButton, TDS::CmStop)
  EVT_UPDATE_UI(SearchStartButton, TDS::EnableStart)
  EVT_UPDATE_UI(SearchStopButton, TDS::EnableStop)
  EVT_UPDATE_UI(wxID_OK, TDS::EnableOk)
wxEND_EVENT_TABLE()

// The search threads' side of the dialog.
class DialogView final : public SearchView {
 public:
  explicit DialogView(TDS* dialog) : link_(WindowLink<TDS>::To(dialog)) {}
  // UI thread: from now on every call is dropped.
  void Detach() { link_->Detach(); }

  void SetNumber(int id, int value) override {
    link_->Post([id, value](TDS& d) { d.ShowNumber(id, value); });
  }
  void ClearText(int id) override {
    link_->Post([id](TDS& d) { d.ClearField(id); });
  }
  void AddFound(int listId, const std::string& url) override {
    link_->Post([listId, url](TDS& d) { d.AddFound(listId, url); });
  }
  void ShowMark(int id) override {
    link_->Post([id](TDS& d) { d.ShowMark(id); });
  }
  void ExplainMark(int id, const std::string& why) override {
    link_->Post([id, why](TDS& d) { d.ExplainMark(id, why); });
  }
  bool IsChecked(int id) override {
    return link_->Ask([id](TDS& d) { return d.IsBoxTicked(id); });
  }
  bool IsOffered(int id) override {
    return link_->Ask([id](TDS& d) { return d.IsBoxOffered(id); });
  }
  std::string ReadTerm(int maxChars) override {
    std::string term;
    link_->Ask([&term, maxChars](TDS& d) {
      term = d.Term(maxChars);
      return true;
    });
    return term;
  }
  bool Message(int stringId, const char* caption, MessageStyle style) override {
    const std::string title = caption ? caption : "";
    const bool hasCaption = caption != nullptr;
    return link_->Ask([stringId, title, hasCaption, style](TDS& d) {
      return d.Ask(stringId, hasCaption ? title.c_str() : nullptr, style);
    });
  }
  void PlayAnimation() override {
    link_->Post([](TDS& d) { d.PlayAnimation(); });
  }
  void StopAnimation() override {
    link_->Post([](TDS& d) { d.StopAnimation(); });
  }
  void PostOk() override {
    link_->Post([](TDS& d) { d.PostOk(); });
  }

 private:
  std::shared_ptr<WindowLink<TDS>> link_;
};

}  // namespace

wxDialog* OpenSearchDialog() { return openDialog; }

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
  // Over the frame, clear of its menu, and raised once shown: a dialog left
  // below the frame takes no clicks.
  dialog->CentreOnParent();
  dialog->CallAfter([dialog] { dialog->Raise(); });
  const int result = dialog->ShowModal();
  SetSearchDialog(nullptr);
  SearchRunning = false;
  view->Detach();
  openDialog = nullptr;
  dialog->Destroy();
  if (result == wxID_OK && Settings.ReportTerm != 0)
    std::thread(QueryReport, GetReportTerm()).detach();
  return result == wxID_OK;
}

}  // namespace qb
