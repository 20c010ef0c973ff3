// The skinned-window framework: a small DuiLib.  One include for everything.
//
//   UIDefine.h   Win32-like types, message numbers, window functions
//   UIString.h   CDuiString, STRINGorID
//   UIControl.h  the control tree (buttons, check boxes, tabs, progress...)
//   UIManager.h  CPaintManagerUI, TNotifyUI, INotifyUI, the message loop
//   UIBuilder.h  CDialogBuilder: control trees from a layout file
//   UIWindow.h   CWindowWnd: the window base class
//   UIDriver.h   backend choice (GTK or display-less) and input for tests
//
// Contract in short:
// - Everything runs on one window thread (the one that calls MessageLoop);
//   PostMessage and IsWindow are the only calls other threads may make.
// - Windows delete nothing behind the caller's back: a CWindowWnd learns its
//   end in OnFinalMessage; the paint manager owns its control tree.
// - Calls report failure as values (nullptr, FALSE, false); nothing throws.
#pragma once

#include "duilib/UIBuilder.h"
#include "duilib/UIControl.h"
#include "duilib/UIDefine.h"
#include "duilib/UIDriver.h"
#include "duilib/UIManager.h"
#include "duilib/UIString.h"
#include "duilib/UIWindow.h"
