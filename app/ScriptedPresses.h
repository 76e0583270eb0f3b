#pragma once

class CV700UpdaterDlg;

// A test that runs the whole program as a child process starts an operation the way a user
// does: V770_PRESS="PAGE:TEXT;PAGE:TEXT..." shows the tab labelled PAGE and presses its
// button labelled TEXT as soon as that button is there and enabled, one step after the
// other, once start-up is over (an empty TEXT only shows the tab). Standard error gets
// "page: PAGE" before a tab is shown and "press: PAGE:TEXT" for each step done. Nothing
// happens when it is not set.
namespace ScriptedPresses {
void ArrangeFromEnvironment(CV700UpdaterDlg* sheet);
}
