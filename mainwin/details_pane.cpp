#include "mainwin/details_pane.h"

#include <wx/gauge.h>
#include <wx/textctrl.h>

#include <string>

#include "core/controls.h"
#include "index/export_writer.h"
#include "mainwin/list_logic.h"
#include "ui/display_text.h"

namespace qb {

namespace {
constexpr std::size_t UrlFieldChars = 499;

wxString ControlText(wxWindow* w) {
  if (auto* edit = dynamic_cast<wxTextCtrl*>(w)) return edit->GetValue();
  return w->GetLabel();
}

void SetControlText(wxWindow* w, const wxString& text) {
  if (auto* edit = dynamic_cast<wxTextCtrl*>(w))
    edit->ChangeValue(text);
  else
    w->SetLabel(text);
}
}  // namespace

void DetailsPane::SetText(int id, const wxString& text) {
  if (wxWindow* w = panel_->FindWindow(id)) SetControlText(w, text);
}

void DetailsPane::ShowSite(const SiteEntry* site) {
  static const int ids[] = {IdUrl, IdStatusText, IdLoginReply, IdTestedFile};
  if (!site) {
    siteUrl_.clear();
    shownUrl_.clear();
    for (int id : ids) {
      if (wxWindow* w = panel_->FindWindow(id)) {
        SetControlText(w, wxString());
        w->UnsetToolTip();
      }
    }
    return;
  }
  std::string status = site->statusText.Get();
  if (site->listingCut) status += " (listing cut: only its first part was read)";
  const std::string values[] = {HidePassword(site->url), status, site->loginReply.Get(),
                                site->testedFile.Get()};
  siteUrl_ = ToDisplayText(site->url);
  shownUrl_ = ToDisplayText(values[0]);
  for (int i = 0; i < 4; ++i) {
    wxWindow* w = panel_->FindWindow(ids[i]);
    if (!w) continue;
    const wxString value = ToDisplayText(values[i]);
    if (ControlText(w) == value) continue;
    SetControlText(w, value);
    // Labels cut long texts; the whole one shows where the pointer rests.
    if (!dynamic_cast<wxTextCtrl*>(w)) w->SetToolTip(value);
  }
}

void DetailsPane::ShowListing(const SiteEntry* site, const ListingCounts& counts) {
  wxWindow* anonymous = panel_->FindWindow(IdAnonymous);
  if (!site) {
    for (int id : {IdUser, IdPassword, IdHost, IdFiles, IdFolders, IdTotal})
      SetText(id, wxString());
    if (anonymous) anonymous->Hide();
    return;
  }
  SetText(IdFiles, wxString::Format("%d", counts.files));
  SetText(IdFolders, wxString::Format("%d", counts.folders));
  SetText(IdTotal, FormatTotal(counts.totalSize));
  const UrlParts parts = SplitUrlParts(site->url);
  SetText(IdUser, ToDisplayText(parts.user));
  SetText(IdPassword, parts.password.empty() ? wxString() : wxString("***"));
  SetText(IdHost, ToDisplayText(parts.host));
  if (anonymous) anonymous->Show(parts.user.empty());
}

void DetailsPane::ClearRun() {
  if (auto* gauge = dynamic_cast<wxGauge*>(panel_->FindWindow(IdProgress))) gauge->SetValue(0);
  for (int id : {IdWaiting, IdSessions, IdFinished}) SetText(id, wxString());
}

wxString DetailsPane::Url() const {
  wxWindow* w = panel_->FindWindow(IdUrl);
  if (!w) return {};
  const wxString text = ControlText(w);
  return (text == shownUrl_ && !siteUrl_.empty() ? siteUrl_ : text).Left(UrlFieldChars);
}

}  // namespace qb
