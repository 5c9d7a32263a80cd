#pragma once
// Plays an AVI clip frame by frame on a timer. A template creates it through
// its subclass name: <object class="wxPanel" subclass="AviPlayer" name="...">.
#include <string>
#include <vector>

#include <wx/bitmap.h>
#include <wx/panel.h>
#include <wx/timer.h>

namespace qb {

class AviPlayer : public wxPanel {
 public:
  AviPlayer();
  AviPlayer(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
            const wxSize& size = wxDefaultSize);

  // Loads a clip and shows its first frame; false (and nothing shown) when
  // the file is missing or not a clip this player reads.
  bool Open(const std::string& path);
  // From the first frame, repeating without end.
  void Play();
  // Stays on the frame shown.
  void Stop();

  bool IsPlaying() const { return timer_.IsRunning(); }
  int FrameCount() const { return static_cast<int>(frames_.size()); }
  int CurrentFrame() const { return current_; }

 private:
  void OnTimer(wxTimerEvent& event);
  void OnPaint(wxPaintEvent& event);

  std::vector<wxBitmap> frames_;
  int current_ = 0;
  int periodMs_ = 100;
  wxTimer timer_;

  wxDECLARE_DYNAMIC_CLASS(AviPlayer);
  wxDECLARE_EVENT_TABLE();
};

}  // namespace qb
