// The skinned-window framework: a small DuiLib.  One include for everything.
//
//   UIDefine.h   Win32-like types, message numbers, window functions
//   UIString.h   CDuiString, STRINGorID
//   UIControl.h  the control tree (buttons, check boxes, tabs, progress...)
//   UIManager.h  CPaintManagerUI, TNotifyUI, INotifyUI, the message loop
//   UIBuilder.h  CDialogBuilder: control trees from a layout file
//   UIDialog.h   standard dialogs (the folder chooser)
//   UIWindow.h   CWindowWnd: the window base class
//   UIDriver.h   backend choice (GTK or Win32, or display-less) and input for tests
//
// Contract in short:
// - Everything runs on one window thread (the one that calls MessageLoop);
//   PostMessage and IsWindow are the only calls other threads may make.
// - Windows delete nothing behind the caller's back: a CWindowWnd learns its
//   end in OnFinalMessage; the paint manager owns its control tree.
// - Calls report failure as values (nullptr, FALSE, false); nothing throws.
// - Work from another thread reaches the window as a posted message
//   (PostMessage(hWnd, WM_USER + n, ...)) and is applied in HandleMessage;
//   a message for a window that is gone is dropped, so never post the only
//   pointer to something that needs freeing.
// - render.h, window_layer.h, attributes.h and the backends' headers are the
//   framework's own; code outside duilib/ includes only this header, and
//   never after <windows.h> in the same file: that header's macros (WM_*,
//   VK_*, PostMessage, LOWORD...) would take over the framework's names.
//
// A window in short: derive from CWindowWnd and INotifyUI; in WM_CREATE call
// m_pm.Init(m_hWnd), m_pm.AttachDialog(CDialogBuilder().Create("main.xml",
// (UINT)0, nullptr, &m_pm)) and m_pm.AddNotifier(this); give every message
// not handled to m_pm.MessageHandler first, then to CWindowWnd::HandleMessage.
#pragma once

#include "duilib/UIBuilder.h"
#include "duilib/UIControl.h"
#include "duilib/UIDefine.h"
#include "duilib/UIDialog.h"
#include "duilib/UIDriver.h"
#include "duilib/UIManager.h"
#include "duilib/UIString.h"
#include "duilib/UIWindow.h"
