#include "dialogs/engine_form.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <utility>

#include "core/text_helpers.h"
#include "search/engine_keys.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

namespace {

constexpr int RuleCount = static_cast<int>(ResultRule::Json) + 1;
const wxString Methods[] = {"GET", "POST"};

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

std::string Utf8(const wxString& text) { return text.utf8_string(); }

// Name, host and URL lose the blanks at their ends: the file would keep them
// and the requests would carry them.
std::string Trimmed(const wxString& text) {
  wxString copy = text;
  return Utf8(copy.Trim(true).Trim(false));
}

}  // namespace

std::vector<std::string> EngineFormProblems(const EngineDef& engine,
                                            const std::vector<std::string>& otherNames) {
  std::vector<std::string> problems = EngineDefProblems(engine);
  for (const std::string& other : otherNames) {
    if (SameNoCase(other, engine.name)) {
      problems.push_back("another engine is named \"" + other + "\"");
      break;
    }
  }
  return problems;
}

EngineForm::EngineForm(wxWindow* parent, const wxString& title, const EngineDef& engine,
                       std::vector<std::string> otherNames)
    : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      otherNames_(std::move(otherNames)) {
  const int gap = FromDIP(6);
  const wxSize wide = FromDIP(wxSize(420, -1));
  std::vector<wxWindow*> labels;
  auto labelled = [&](wxWindow* box, wxFlexGridSizer* grid, const wxString& label,
                      wxWindow* field) {
    labels.push_back(new wxStaticText(box, wxID_ANY, label));
    grid->Add(labels.back(), wxSizerFlags().CentreVertical());
    grid->Add(field, wxSizerFlags().Expand());
    return field;
  };
  auto text = [&](wxWindow* box, wxFlexGridSizer* grid, const wxString& label, int id) {
    labelled(box, grid, label, new wxTextCtrl(box, id, wxString(), wxDefaultPosition, wide));
  };
  auto grid = [&] {
    auto* g = new wxFlexGridSizer(2, gap, gap * 2);
    g->AddGrowableCol(1);
    return g;
  };

  auto* column = new wxBoxSizer(wxVERTICAL);
  auto* top = grid();
  text(this, top, "&Name:", EngineNameField);
  const wxString kinds[] = {"Search: asked for the term", "Site list: names sites, no term"};
  labelled(this, top, "&Kind:",
           new wxChoice(this, EngineKindChoice, wxDefaultPosition, wxDefaultSize,
                        static_cast<int>(std::size(kinds)), kinds));
  top->AddSpacer(0);
  top->Add(new wxCheckBox(this, EngineEnabledBox, "&Enabled in new searches"));
  column->Add(top, wxSizerFlags().Expand().Border(wxALL, gap * 2));

  auto* request = new wxStaticBoxSizer(wxVERTICAL, this, "Request");
  wxWindow* requestBox = request->GetStaticBox();
  auto* requestGrid = grid();
  text(requestBox, requestGrid, "&Host:", EngineHostField);
  text(requestBox, requestGrid, "&URL:", EngineUrlField);
  requestGrid->AddSpacer(0);
  auto* hint = new wxStaticText(
      requestBox, wxID_ANY, "Placeholders: {term}, {jsonterm}, {page}, {host}, {key}, {cursor}");
  hint->SetForegroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT));
  requestGrid->Add(hint);
  labelled(requestBox, requestGrid, "&Method:",
           new wxChoice(requestBox, EngineMethodChoice, wxDefaultPosition, wxDefaultSize,
                        static_cast<int>(std::size(Methods)), Methods));
  text(requestBox, requestGrid, "&Body:", EngineBodyField);
  text(requestBox, requestGrid, "Content &type:", EngineContentTypeField);
  text(requestBox, requestGrid, "He&ader:", EngineHeaderField);
  const wxString auths[] = {"None", "Basic (the key is user:secret)"};
  labelled(requestBox, requestGrid, "A&uthentication:",
           new wxChoice(requestBox, EngineAuthChoice, wxDefaultPosition, wxDefaultSize,
                        static_cast<int>(std::size(auths)), auths));
  labelled(requestBox, requestGrid, "&Key:",
           new wxTextCtrl(requestBox, EngineKeyField, wxString(), wxDefaultPosition, wide,
                          wxTE_PASSWORD));
  auto* pages = new wxBoxSizer(wxHORIZONTAL);
  const struct {
    int id;
    const char* label;
    int low, high;
  } numbers[] = {{EngineFirstPageField, "&First page:", 0, 999999},
                 {EnginePageStepField, "Ste&p:", 0, 999999},
                 {EnginePageLimitField, "&Limit (0: none):", 0, 9999}};
  for (const auto& n : numbers) {
    if (n.id != EngineFirstPageField) pages->AddSpacer(gap * 3);
    pages->Add(new wxStaticText(requestBox, wxID_ANY, n.label),
               wxSizerFlags().CentreVertical().Border(wxRIGHT, gap));
    pages->Add(new wxSpinCtrl(requestBox, n.id, wxString(), wxDefaultPosition, wxDefaultSize,
                              wxSP_ARROW_KEYS, n.low, n.high, 0),
               wxSizerFlags().CentreVertical());
  }
  labels.push_back(new wxStaticText(requestBox, wxID_ANY, "Pages:"));
  requestGrid->Add(labels.back(), wxSizerFlags().CentreVertical());
  requestGrid->Add(pages);
  request->Add(requestGrid, wxSizerFlags().Expand().Border(wxALL, gap));
  column->Add(request, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT, gap * 2));

  auto* results = new wxStaticBoxSizer(wxVERTICAL, this, "Results");
  wxWindow* resultsBox = results->GetStaticBox();
  auto* resultsGrid = grid();
  wxArrayString rules;
  for (int i = 0; i < RuleCount; ++i) rules.Add(RuleName(static_cast<ResultRule>(i)));
  labelled(resultsBox, resultsGrid, "&Rule:",
           new wxChoice(resultsBox, EngineRuleChoice, wxDefaultPosition, wxDefaultSize, rules));
  text(resultsBox, resultsGrid, "Be&gin marker:", EngineBeginField);
  text(resultsBox, resultsGrid, "En&d marker:", EngineEndField);
  text(resultsBox, resultsGrid, "&Stop marker:", EngineStopField);
  text(resultsBox, resultsGrid, "No-&more marker:", EngineNoMoreField);
  text(resultsBox, resultsGrid, "&Items (JSON):", EngineItemsField);
  text(resultsBox, resultsGrid, "S&ite (JSON):", EngineSiteField);
  text(resultsBox, resultsGrid, "Ne&xt from (JSON):", EngineNextFromField);
  results->Add(resultsGrid, wxSizerFlags().Expand().Border(wxALL, gap));
  column->Add(results, wxSizerFlags().Expand().Border(wxALL, gap * 2));

  // One label width for both groups, so that their fields line up.
  int labelWidth = 0;
  for (wxWindow* label : labels) labelWidth = std::max(labelWidth, label->GetBestSize().x);
  for (wxWindow* label : labels) label->SetMinSize(wxSize(labelWidth, -1));

  column->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL),
              wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxBOTTOM, gap * 2));
  SetSizerAndFit(column);

  Bind(wxEVT_BUTTON, &EngineForm::OnOk, this, wxID_OK);
  Bind(wxEVT_CHOICE, &EngineForm::OnMethodChanged, this, EngineMethodChoice);
  ShowEngine(engine);
  FindWindow(EngineNameField)->SetFocus();
  CentreOnParent();
}

void EngineForm::ShowEngine(const EngineDef& engine) {
  auto set = [this](int id, const std::string& value) {
    if (auto* field = dynamic_cast<wxTextCtrl*>(FindWindow(id)))
      field->ChangeValue(ToDisplayText(value));
  };
  set(EngineNameField, engine.name);
  set(EngineHostField, engine.host);
  set(EngineUrlField, engine.url);
  set(EngineBodyField, engine.body);
  set(EngineContentTypeField, engine.contentType);
  set(EngineBeginField, engine.begin);
  set(EngineEndField, engine.end);
  set(EngineStopField, engine.stop);
  set(EngineNoMoreField, engine.noMore);
  set(EngineHeaderField, engine.header);
  set(EngineItemsField, engine.items);
  set(EngineSiteField, engine.site);
  set(EngineNextFromField, engine.nextFrom);
  if (auto* kind = dynamic_cast<wxChoice*>(FindWindow(EngineKindChoice)))
    kind->SetSelection(engine.kind == EngineKind::SiteList ? 1 : 0);
  if (auto* auth = dynamic_cast<wxChoice*>(FindWindow(EngineAuthChoice)))
    auth->SetSelection(engine.auth == EngineAuth::Basic ? 1 : 0);
  if (auto* key = dynamic_cast<wxTextCtrl*>(FindWindow(EngineKeyField)))
    key->SetHint(EngineNeedsKey(engine) ? "kept in the keyring; type to replace" : "");
  if (auto* box = dynamic_cast<wxCheckBox*>(FindWindow(EngineEnabledBox)))
    box->SetValue(engine.enabled);
  if (auto* method = dynamic_cast<wxChoice*>(FindWindow(EngineMethodChoice)))
    method->SetSelection(SameNoCase(engine.method, "POST") ? 1 : 0);
  if (auto* rule = dynamic_cast<wxChoice*>(FindWindow(EngineRuleChoice)))
    rule->SetSelection(static_cast<int>(engine.rule));
  for (const auto& [id, value] : {std::pair{EngineFirstPageField, engine.firstPage},
                                  std::pair{EnginePageStepField, engine.pageStep},
                                  std::pair{EnginePageLimitField, engine.pageLimit}}) {
    auto* spin = dynamic_cast<wxSpinCtrl*>(FindWindow(id));
    if (!spin) continue;
    // A value from the file outside the usual range is shown, not clamped.
    if (value < spin->GetMin() || value > spin->GetMax())
      spin->SetRange(std::min(value, spin->GetMin()), std::max(value, spin->GetMax()));
    spin->SetValue(value);
  }
  EnablePostFields();
}

std::string EngineForm::Key() const {
  auto* field = dynamic_cast<wxTextCtrl*>(FindWindow(EngineKeyField));
  return field ? field->GetValue().utf8_string() : std::string();
}

EngineDef EngineForm::Engine() const {
  EngineDef engine;
  auto text = [this](int id) {
    auto* field = dynamic_cast<wxTextCtrl*>(FindWindow(id));
    return field ? field->GetValue() : wxString();
  };
  auto number = [this](int id) {
    auto* spin = dynamic_cast<wxSpinCtrl*>(FindWindow(id));
    return spin ? spin->GetValue() : 0;
  };
  engine.name = Trimmed(text(EngineNameField));
  engine.host = Trimmed(text(EngineHostField));
  engine.url = Trimmed(text(EngineUrlField));
  engine.body = Utf8(text(EngineBodyField));
  engine.contentType = Trimmed(text(EngineContentTypeField));
  engine.begin = Utf8(text(EngineBeginField));
  engine.end = Utf8(text(EngineEndField));
  engine.stop = Utf8(text(EngineStopField));
  engine.noMore = Utf8(text(EngineNoMoreField));
  engine.header = Trimmed(text(EngineHeaderField));
  engine.items = Trimmed(text(EngineItemsField));
  engine.site = Trimmed(text(EngineSiteField));
  engine.nextFrom = Trimmed(text(EngineNextFromField));
  if (auto* kind = dynamic_cast<wxChoice*>(FindWindow(EngineKindChoice)))
    engine.kind = kind->GetSelection() == 1 ? EngineKind::SiteList : EngineKind::Search;
  if (auto* auth = dynamic_cast<wxChoice*>(FindWindow(EngineAuthChoice)))
    engine.auth = auth->GetSelection() == 1 ? EngineAuth::Basic : EngineAuth::None;
  if (auto* box = dynamic_cast<wxCheckBox*>(FindWindow(EngineEnabledBox)))
    engine.enabled = box->GetValue();
  if (auto* method = dynamic_cast<wxChoice*>(FindWindow(EngineMethodChoice)))
    engine.method = method->GetSelection() == 1 ? "POST" : "GET";
  if (auto* rule = dynamic_cast<wxChoice*>(FindWindow(EngineRuleChoice));
      rule && rule->GetSelection() >= 0)
    engine.rule = static_cast<ResultRule>(rule->GetSelection());
  engine.firstPage = number(EngineFirstPageField);
  engine.pageStep = number(EnginePageStepField);
  engine.pageLimit = number(EnginePageLimitField);
  return engine;
}

void EngineForm::OnOk(wxCommandEvent& event) {
  const std::vector<std::string> problems = EngineFormProblems(Engine(), otherNames_);
  if (problems.empty()) {
    event.Skip();  // the dialog's own OK handling ends it
    return;
  }
  std::string text = "This engine cannot be used yet:\n";
  for (const std::string& problem : problems) text += "\n\u2022 " + problem;
  ShowMessage(this, ToDisplayText(text), GetTitle(), MessageStyle::Exclamation);
}

void EngineForm::OnMethodChanged(wxCommandEvent&) { EnablePostFields(); }

// Body and content type are sent with POST only.
void EngineForm::EnablePostFields() {
  auto* method = dynamic_cast<wxChoice*>(FindWindow(EngineMethodChoice));
  const bool post = method && method->GetSelection() == 1;
  for (int id : {EngineBodyField, EngineContentTypeField})
    if (wxWindow* field = FindWindow(id)) field->Enable(post);
}

bool EditEngine(wxWindow* parent, const wxString& title, EngineDef& engine,
                const std::vector<std::string>& otherNames) {
  EngineForm form(parent, title, engine, otherNames);
  if (form.ShowModal() != wxID_OK) return false;
  engine = form.Engine();
  if (const std::string key = form.Key(); !key.empty()) {
    const KeyStored stored = EngineKeys().Set(engine.name, key);
    if (!stored.ok)
      ShowMessage(parent, ToDisplayText("The key could not be kept: " + stored.problem), title,
                  MessageStyle::Exclamation);
  }
  return true;
}

}  // namespace qb
