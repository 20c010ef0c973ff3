// CDialogBuilder: builds a control tree from a layout file (XML).  The schema
// is described at the top of UIBuilder.cpp.
#pragma once

#include "duilib/UIControl.h"
#include "duilib/UIString.h"

namespace DuiLib {

class CPaintManagerUI;

// Makes controls for element names the framework does not know.
class IDialogBuilderCallback {
  public:
    virtual CControlUI* CreateControl(const char* className) = 0;

  protected:
    ~IDialogBuilderCallback() = default;
};

class CDialogBuilder {
  public:
    // `xml` is a file name relative to CPaintManagerUI::GetResourcePath() (or an
    // absolute path), or the layout text itself when it starts with '<' (after blanks).
    // `type` is accepted for source compatibility and ignored.  With a manager,
    // the <Window> attributes (size, caption, roundcorner) are applied to it;
    // with a parent container, the root is added to it.  Answers the root
    // control (owned by the caller, or by the parent), or nullptr when the
    // layout cannot be read; the reason goes to the diagnostic output.
    CControlUI* Create(STRINGorID xml, STRINGorID type = static_cast<UINT>(0),
                       IDialogBuilderCallback* callback = nullptr,
                       CPaintManagerUI* manager = nullptr, CControlUI* parent = nullptr);
};

}  // namespace DuiLib
