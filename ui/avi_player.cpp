#include "ui/avi_player.h"

#include <wx/dcclient.h>
#include <wx/image.h>

#include <cstring>

#include "ui/avi_clip.h"

namespace qb {

wxIMPLEMENT_DYNAMIC_CLASS(AviPlayer, wxPanel);

wxBEGIN_EVENT_TABLE(AviPlayer, wxPanel)
  EVT_TIMER(wxID_ANY, AviPlayer::OnTimer)
  EVT_PAINT(AviPlayer::OnPaint)
wxEND_EVENT_TABLE()

AviPlayer::AviPlayer() { timer_.SetOwner(this); }

AviPlayer::AviPlayer(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size)
    : wxPanel(parent, id, pos, size, wxBORDER_NONE) {
  timer_.SetOwner(this);
}

bool AviPlayer::Open(const std::string& path) {
  Stop();
  frames_.clear();
  current_ = 0;
  AviClip clip;
  if (!ReadAviClip(path, &clip)) {
    Refresh();
    return false;
  }
  for (const auto& rgb : clip.frames) {
    wxImage image(clip.width, clip.height, false);
    std::memcpy(image.GetData(), rgb.data(), rgb.size());
    frames_.emplace_back(image);
  }
  periodMs_ = clip.frameMicroseconds / 1000;
  if (periodMs_ < 10) periodMs_ = 10;
  Refresh();
  return true;
}

void AviPlayer::Play() {
  if (frames_.empty()) return;
  current_ = 0;
  Refresh();
  timer_.Start(periodMs_);
}

void AviPlayer::Stop() { timer_.Stop(); }

void AviPlayer::OnTimer(wxTimerEvent&) {
  if (frames_.empty()) return;
  current_ = (current_ + 1) % static_cast<int>(frames_.size());
  Refresh(false);
}

void AviPlayer::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  if (frames_.empty()) return;
  const wxBitmap& frame = frames_[current_];
  const wxSize size = GetClientSize();
  dc.DrawBitmap(frame, (size.x - frame.GetWidth()) / 2, (size.y - frame.GetHeight()) / 2);
}

}  // namespace qb
