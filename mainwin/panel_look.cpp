// How the main dialog places its controls as it is resized, and paints what
// lies behind them.
#include <wx/dcclient.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>

#include "core/controls.h"
#include "mainwin/main_dialog.h"
#include "ui/avi_player.h"
#include "ui/colour.h"

namespace qb {

void TD::SetUpColours() {
  SiteList()->SetBackgroundColour(WxColour(ListColour));
  FileList()->SetBackgroundColour(WxColour(ListColour));
  // Labels draw on the dialog's own painting; editable fields get their colour.
  for (wxWindow* child : GetChildren()) {
    const int id = child->GetId();
    if (id == IdSiteList || id == IdFileList || id == IdLoginReply) continue;
    auto* edit = dynamic_cast<wxTextCtrl*>(child);
    if (edit && edit->IsEditable()) edit->SetBackgroundColour(WxColour(FieldColour));
  }
  if (animation) animation->SetBackgroundColour(WxColour(PanelColour));
}

void TD::CaptureLayout() {
  initialClientRect_ = GetClientRect();
  for (int g = 0; g < LayoutGroupCount; ++g) {
    int k = 0;
    for (; k < LayoutGroupSlots; ++k) {
      wxWindow* w = FindWindow(LayoutGroups[g].firstId + k);
      if (!w) break;
      const wxRect r = w->GetRect();
      layoutRects_[g * LayoutGroupSlots + k] = {r.GetLeft(), r.GetTop(), r.GetLeft() + r.GetWidth(),
                                                r.GetTop() + r.GetHeight()};
    }
    layoutCounts_[g] = k;
  }
  layoutCaptured_ = true;
}

void TD::ApplyLayout() {
  const wxRect client = GetClientRect();
  const int dx = client.GetRight() - initialClientRect_.GetRight();
  const int dy = client.GetBottom() - initialClientRect_.GetBottom();
  for (int g = 0; g < LayoutGroupCount; ++g) {
    for (int k = 0; k < layoutCounts_[g]; ++k) {
      wxWindow* w = FindWindow(LayoutGroups[g].firstId + k);
      if (!w) break;
      const Placement p =
          PlaceControl(layoutRects_[g * LayoutGroupSlots + k], LayoutGroups[g], dx, dy);
      // A size below zero would ask the toolkit for its default size instead.
      w->SetSize(p.x, p.y, std::max(p.width, 0), std::max(p.height, 0), wxSIZE_FORCE);
    }
  }
  SiteList()->SetColumnWidth(0, SiteColumnWidth(dx));
  files_.FitColumns(FileColumnWidth(dx));
  Refresh();
  Update();
}

void TD::OnSize(wxSizeEvent&) {
  if (layoutCaptured_ && SiteList() && FileList()) ApplyLayout();
}

void TD::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  const wxSize client = GetClientSize();
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(WxColour(PanelColour)));
  dc.DrawRectangle(0, 0, client.x, client.y);
  wxWindow* bandEnd = FindWindow(IdBandEnd);
  if (!SiteList() || !bandEnd) return;
  const int top = SiteList()->GetRect().GetBottom() + 1;
  const int bottom = bandEnd->GetRect().GetTop();
  if (bottom > top) {
    dc.SetBrush(wxBrush(WxColour(BandColour)));
    dc.DrawRectangle(0, top, client.x, bottom - top);
  }
  // Labels draw on the dialog, so their own background is painted here: the
  // totals line's labels in the band's grey, every other label in the panel's
  // colour, also where it lies on the band.
  for (wxWindow* child : GetChildren()) {
    if (!dynamic_cast<wxStaticText*>(child)) continue;
    const int id = child->GetId();
    const bool band = id >= IdBandLabels && id <= IdTotal;
    dc.SetBrush(wxBrush(WxColour(band ? BandColour : PanelColour)));
    dc.DrawRectangle(child->GetRect());
  }
}

}  // namespace qb
