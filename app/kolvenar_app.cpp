// The GUI program: for now one empty main window.
#include <wx/wx.h>

class CD_APP : public wxApp {
 public:
  bool OnInit() override {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "Kolvenar");
    frame->Show();
    return true;
  }
};

wxIMPLEMENT_APP(CD_APP);
