#pragma once

#include "app/WorkingFiles.h"

class CV700UpdaterDlg;
class SingleInstance;

// The application object: builds the sheet, reads the remembered language, adds the main
// and recovery pages and runs the sheet until the window is closed.
class CV700UpdaterApp {
 public:
  CV700UpdaterDlg* m_pSheet = nullptr;

  // Always FALSE: the program ends when the sheet closes.
  bool InitInstance();

  // The desktop asks the program to end: handled as the window's close box.
  void RequestClose();
  // Another start asked for the window: the window, or the box it shows, comes to the front.
  void BringToFront();
  // This start found the program running: asks it to come to the front instead. The exit
  // status of this start (a message tells the user when the running one does not answer).
  int HandOverToRunningProgram(SingleInstance& instance);

  // Names the application. No display name is set: window systems add one to every
  // window's title, and the caption must read exactly as the sheet sets it. Message boxes
  // then carry the application's name, as the program file is called.
  static void SetApplicationNames();
};

extern CV700UpdaterApp theApp;

