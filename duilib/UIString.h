// CDuiString: the framework's small string (UTF-8 bytes), and STRINGorID, the
// "file name or resource number" argument of CDialogBuilder::Create.
#pragma once

#include <string>

#include "duilib/UIDefine.h"

namespace DuiLib {

class CDuiString {
  public:
    CDuiString() = default;
    CDuiString(const char* text) : m_text(text ? text : "") {}  // NOLINT: implicit by design
    CDuiString(std::string text) : m_text(std::move(text)) {}   // NOLINT: implicit by design

    const char* GetData() const { return m_text.c_str(); }
    operator const char*() const { return m_text.c_str(); }  // NOLINT: DuiLib's LPCTSTR use
    const std::string& str() const { return m_text; }

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    // 0 when equal, as strcmp.
    int Compare(const char* other) const { return m_text.compare(other ? other : ""); }

    CDuiString& operator=(const char* text) {
        m_text = text ? text : "";
        return *this;
    }
    CDuiString& operator+=(const char* text) {
        m_text += text ? text : "";
        return *this;
    }
    CDuiString& operator+=(const CDuiString& text) {
        m_text += text.m_text;
        return *this;
    }
    friend CDuiString operator+(const CDuiString& a, const char* b) {
        CDuiString r(a);
        r += b;
        return r;
    }
    friend bool operator==(const CDuiString& a, const char* b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CDuiString& a, const char* b) { return a.Compare(b) != 0; }
    friend bool operator==(const CDuiString& a, const CDuiString& b) {
        return a.m_text == b.m_text;
    }

  private:
    std::string m_text;
};

// A layout named by file name, or by a resource number.  Resource numbers
// exist only for source compatibility: this framework reads files, so a number
// (including the 0 passed for "no type") names nothing.
class STRINGorID {
  public:
    STRINGorID(const char* name) : m_lpstr(name) {}      // NOLINT: implicit by design
    STRINGorID(UINT id) : m_lpstr(nullptr), m_id(id) {}  // NOLINT: implicit by design
    const char* m_lpstr;
    UINT m_id = 0;
};

}  // namespace DuiLib
