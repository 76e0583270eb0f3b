#pragma once

#include "app/WorkingFiles.h"

class CV700UpdaterDlg;

// The application object: builds the sheet, reads the remembered language, adds the main
// and recovery pages and runs the sheet until the window is closed.
class CV700UpdaterApp {
 public:
  CV700UpdaterDlg* m_pSheet = nullptr;

  // Always FALSE: the program ends when the sheet closes.
  bool InitInstance();
};

extern CV700UpdaterApp theApp;

