#include "dialogs/engines_page.h"

#include <wx/button.h>
#include <wx/choicdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textdlg.h>

#include <thread>
#include <utility>

#include "core/text_helpers.h"
#include "dialogs/engine_form.h"
#include "search/engine_file.h"
#include "search/engine_pages.h"
#include "search/engine_set.h"
#include "search/engine_templates.h"
#include "search/search_run.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

namespace {

enum Column { NameColumn, RuleColumn, UrlColumn };

std::string TestOutcome(const EnginePagesEnd& end, int found) {
  if (end.failed) return "The test failed: " + end.why;
  return std::to_string(found) + (found == 1 ? " ftp:// URL" : " ftp:// URLs") + " found on page 1";
}

}  // namespace

EnginesPage::EnginesPage(wxWindow* parent)
    : wxPanel(parent, wxID_ANY), link_(WindowLink<EnginesPage>::To(this)) {
  const int gap = FromDIP(6);
  auto* column = new wxBoxSizer(wxVERTICAL);
  auto* row = new wxBoxSizer(wxHORIZONTAL);

  list_ = new wxListCtrl(this, EngineList, wxDefaultPosition, FromDIP(wxSize(520, 240)),
                         wxLC_REPORT | wxLC_SINGLE_SEL);
  list_->EnableCheckBoxes();
  list_->AppendColumn("Engine", wxLIST_FORMAT_LEFT, FromDIP(150));
  list_->AppendColumn("Rule", wxLIST_FORMAT_LEFT, FromDIP(80));
  list_->AppendColumn("URL", wxLIST_FORMAT_LEFT, FromDIP(400));
  list_->SetToolTip("Ticked engines are asked in new searches.");
  row->Add(list_, wxSizerFlags(1).Expand());

  auto* buttons = new wxBoxSizer(wxVERTICAL);
  const struct {
    int id;
    const char* label;
    void (EnginesPage::*handler)(wxCommandEvent&);
  } actions[] = {
      {EngineAddButton, "&Add\u2026", &EnginesPage::OnAdd},
      {EngineTemplateButton, "Add from te&mplate\u2026", &EnginesPage::OnAddFromTemplate},
      {EngineEditButton, "&Edit\u2026", &EnginesPage::OnEdit},
      {EngineRemoveButton, "&Remove", &EnginesPage::OnRemove},
      {EngineUpButton, "Move &up", &EnginesPage::OnUp},
      {EngineDownButton, "Move &down", &EnginesPage::OnDown},
      {EngineTestButton, "&Test\u2026", &EnginesPage::OnTest},
      {EngineRestoreButton, "Restore &built-in engines", &EnginesPage::OnRestore},
  };
  for (const auto& action : actions) {
    // The restore button stands apart from those that act on the selection.
    if (action.id == EngineRestoreButton) {
      buttons->AddSpacer(gap * 3);
      buttons->AddStretchSpacer();
    }
    buttons->Add(new wxButton(this, action.id, wxString::FromUTF8(action.label)),
                 wxSizerFlags().Expand().Border(wxBOTTOM, gap));
    Bind(wxEVT_BUTTON, action.handler, this, action.id);
    Bind(wxEVT_UPDATE_UI, &EnginesPage::UpdateButtons, this, action.id);
  }
  row->Add(buttons, wxSizerFlags().Expand().Border(wxLEFT, gap * 2));
  column->Add(row, wxSizerFlags(1).Expand().Border(wxALL, gap * 2));

  testResult_ = new wxStaticText(this, EngineTestResult, wxString(), wxDefaultPosition,
                                 wxDefaultSize, wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
  column->Add(testResult_, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxBOTTOM, gap * 2));
  auto* note = new wxStaticText(this, EngineFileNote, wxString());
  note->Hide();
  column->Add(note, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxBOTTOM, gap * 2));
  SetSizer(column);

  Bind(wxEVT_LIST_ITEM_ACTIVATED, &EnginesPage::OnActivated, this, EngineList);
  Bind(wxEVT_LIST_ITEM_CHECKED, &EnginesPage::OnChecked, this, EngineList);
  Bind(wxEVT_LIST_ITEM_UNCHECKED, &EnginesPage::OnChecked, this, EngineList);
}

// A test still running posts to a page that has gone: its link drops that.
EnginesPage::~EnginesPage() { link_->Detach(); }

void EnginesPage::SetUp() {
  engines_.clear();
  for (const ActiveEngine& engine : *ActiveEngines()) engines_.push_back(engine.def);
  shownText_ = EngineFileText(engines_);
  // Saving from here rewrites the file, so what it could not use is said first.
  const EngineFile file = ReadEngineFile(EngineFilePath());
  if (wxWindow* note = FindWindow(EngineFileNote)) {
    std::string tip;
    for (const std::string& problem : file.problems) tip += (tip.empty() ? "" : "\n") + problem;
    note->SetLabel(file.problems.empty()
                       ? wxString()
                       : ToDisplayText("The engine file " + EngineFilePath() +
                                       " has problems (see the tip); engines left out of it are "
                                       "not kept when this list is saved."));
    note->SetToolTip(ToDisplayText(tip));
    note->Show(!file.problems.empty());
    if (auto* text = dynamic_cast<wxStaticText*>(note)) text->Wrap(FromDIP(560));
  }
  ShowList(engines_.empty() ? -1 : 0);
  Layout();
}

void EnginesPage::Apply() {
  if (EngineFileText(engines_) == shownText_) return;
  SetActiveEngines(engines_);
  if (!WriteEngineFile(EngineFilePath(), engines_)) {
    ShowMessage(this,
                ToDisplayText("The engines could not be written to " + EngineFilePath() +
                              ".\nThey stay in effect until the program ends."),
                "Quillbrook", MessageStyle::Error);
  }
  shownText_ = EngineFileText(engines_);
}

void EnginesPage::ShowList(long select) {
  list_->Freeze();
  list_->DeleteAllItems();
  for (std::size_t i = 0; i < engines_.size(); ++i) {
    const EngineDef& e = engines_[i];
    const long at = list_->InsertItem(static_cast<long>(i), ToDisplayText(e.name));
    list_->SetItem(at, RuleColumn, RuleName(e.rule));
    list_->SetItem(at, UrlColumn, ToDisplayText(e.url));
    list_->CheckItem(at, e.enabled);
  }
  if (select >= 0 && select < list_->GetItemCount()) {
    list_->SetItemState(select, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                        wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    list_->EnsureVisible(select);
  }
  list_->Thaw();
}

long EnginesPage::Selected() const {
  return list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
}

std::vector<std::string> EnginesPage::NamesBut(long skip) const {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < engines_.size(); ++i)
    if (static_cast<long>(i) != skip) names.push_back(engines_[i].name);
  return names;
}

void EnginesPage::Move(long from, long to) {
  const long count = static_cast<long>(engines_.size());
  if (from < 0 || from >= count || to < 0 || to >= count) return;
  std::swap(engines_[static_cast<std::size_t>(from)], engines_[static_cast<std::size_t>(to)]);
  ShowList(to);
}

void EnginesPage::OnAdd(wxCommandEvent&) {
  if (static_cast<int>(engines_.size()) >= MaxEngines) return;
  EngineDef engine;
  engine.url = "https://";
  engine.pageLimit = 10;  // a new engine asks a few pages until its owner says otherwise
  if (!EditEngine(this, "Add engine", engine, NamesBut(-1))) return;
  Insert(std::move(engine));
}

void EnginesPage::Insert(EngineDef engine) {
  const long at = Selected() < 0 ? static_cast<long>(engines_.size()) : Selected() + 1;
  engines_.insert(engines_.begin() + at, std::move(engine));
  ShowList(at);
}

void EnginesPage::OnAddFromTemplate(wxCommandEvent&) {
  if (static_cast<int>(engines_.size()) >= MaxEngines) return;
  wxArrayString titles;
  for (const EngineTemplate& t : EngineTemplates()) titles.Add(ToDisplayText(t.title));
  wxSingleChoiceDialog choose(this, "The source to add:", "Add from template", titles);
  if (choose.ShowModal() != wxID_OK || choose.GetSelection() < 0) return;
  const std::vector<std::string> taken = NamesBut(-1);
  EngineDef engine = EngineTemplates()[static_cast<std::size_t>(choose.GetSelection())].engine;
  engine.name = FreeEngineName(engine.name, taken);
  if (!EditEngine(this, "Add from template", engine, taken)) return;
  Insert(std::move(engine));
}

void EnginesPage::OnEdit(wxCommandEvent&) {
  const long at = Selected();
  if (at < 0) return;
  EngineDef engine = engines_[static_cast<std::size_t>(at)];
  if (!EditEngine(this, "Edit engine", engine, NamesBut(at))) return;
  engines_[static_cast<std::size_t>(at)] = std::move(engine);
  ShowList(at);
}

void EnginesPage::OnRemove(wxCommandEvent&) {
  const long at = Selected();
  if (at < 0) return;
  engines_.erase(engines_.begin() + at);
  ShowList(at < static_cast<long>(engines_.size()) ? at : at - 1);
}

void EnginesPage::OnUp(wxCommandEvent&) { Move(Selected(), Selected() - 1); }

void EnginesPage::OnDown(wxCommandEvent&) {
  if (Selected() >= 0) Move(Selected(), Selected() + 1);
}

void EnginesPage::OnRestore(wxCommandEvent&) {
  engines_ = BuiltinEngines();
  ShowList(0);
}

void EnginesPage::OnTest(wxCommandEvent&) {
  const long at = Selected();
  if (at < 0 || testing_) return;
  const EngineDef engine = engines_[static_cast<std::size_t>(at)];
  wxTextEntryDialog ask(this, ToDisplayText("Search " + engine.name + " for:"), "Test engine",
                        ToDisplayText(testTerm_));
  ask.SetMaxLength(TermMaxChars);
  if (ask.ShowModal() != wxID_OK) return;
  wxString typed = ask.GetValue();
  std::string term = typed.Trim(true).Trim(false).utf8_string();
  if (term.empty()) return;
  testTerm_ = term;
  for (char& c : term) c = AsciiLower(c);
  testing_ = true;
  ShowTestResult("Asking " + engine.name + "\u2026");
  // A page can take the whole fetch time-out to come: never on the UI thread.
  std::thread([link = link_, engine, prepared = PrepareQuery(term)] {
    int found = 0;
    EnginePageHooks hooks;
    hooks.found = [&found](std::string&) { ++found; };
    const EnginePagesEnd end = AskEnginePages(engine, prepared, 1, hooks);
    link->Post([text = TestOutcome(end, found)](EnginesPage& page) {
      page.testing_ = false;
      page.ShowTestResult(text);
    });
  }).detach();
}

void EnginesPage::OnActivated(wxListEvent& event) {
  wxCommandEvent edit(wxEVT_BUTTON, EngineEditButton);
  if (event.GetIndex() >= 0) OnEdit(edit);
}

void EnginesPage::OnChecked(wxListEvent& event) {
  const long at = event.GetIndex();
  if (at >= 0 && at < static_cast<long>(engines_.size()))
    engines_[static_cast<std::size_t>(at)].enabled = list_->IsItemChecked(at);
}

void EnginesPage::UpdateButtons(wxUpdateUIEvent& event) {
  const long at = Selected();
  const long count = static_cast<long>(engines_.size());
  switch (event.GetId()) {
    case EngineAddButton:
    case EngineTemplateButton:
      event.Enable(count < MaxEngines);
      break;
    case EngineEditButton:
    case EngineRemoveButton:
      event.Enable(at >= 0);
      break;
    case EngineUpButton:
      event.Enable(at > 0);
      break;
    case EngineDownButton:
      event.Enable(at >= 0 && at + 1 < count);
      break;
    case EngineTestButton:
      event.Enable(at >= 0 && !testing_);
      break;
    default:
      break;
  }
}

void EnginesPage::ShowTestResult(const std::string& text) {
  testResult_->SetLabel(ToDisplayText(text));
  testResult_->SetToolTip(ToDisplayText(text));
}

}  // namespace qb
