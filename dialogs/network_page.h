#pragma once
// The settings sheet's network page: how data connections are opened, whether
// sessions speak TLS and which certificates the user accepted, how soon
// sessions start, how politely search hosts are asked, and whether the search
// term is reported.
#include <wx/panel.h>

#include <vector>

#include "core/trusted_certificates.h"
#include "dialogs/settings_page.h"

class wxListCtrl;

namespace qb {

// The page's controls added after those of core/controls.h.
inline constexpr int TlsModeChoice = 304;
inline constexpr int CertificateList = 305;
inline constexpr int RevokeCertificateButton = 306;
inline constexpr int FastStartBox = 307;

class NetworkPage : public wxPanel, public SettingsPage {
 public:
  explicit NetworkPage(wxWindow* parent);
  void SetUp() override;
  // The pause box when it holds no number inside its range.
  wxWindow* Refused(std::string& problem) override;
  // Stores the choices into the settings; the certificates revoked on the page
  // leave the trust store.
  void Apply() override;

 private:
  void ShowCertificates();
  void OnRevoke(wxCommandEvent& event);
  void EnableRevoke(wxUpdateUIEvent& event);

  wxListCtrl* certificates_ = nullptr;
  std::vector<TrustedCertificate> shown_;
  std::vector<TrustedCertificate> revoked_;
};

}  // namespace qb
