// Layout files.
//
// Schema (UTF-8 XML; every attribute is optional):
//
//   <Window size="cx,cy" caption="l,t,r,b" roundcorner="w,h" focuscolor="#AARRGGBB">
//     one root control
//   </Window>
//
//   caption: the drag area; left, top and bottom from the window's edges,
//   right measured in from the right edge ("0,0,0,40" = the top 40 pixels).
//   roundcorner: ellipse size of the window's corners (twice the radius).
//
// Control elements and their own attributes (each kind has those of the
// kinds after "+" too):
//   Control           name text width height pos="l,t,r,b" float padding="l,t,r,b"
//                     bkcolor bkimage bordercolor bordersize borderround="w,h"
//                     enabled visible default cancel
//   Container         + Control: inset="l,t,r,b" childpadding   (children overlap)
//   VerticalLayout    + Container                               (top to bottom)
//   HorizontalLayout  + Container                               (left to right)
//   TabLayout         + Container: selectedid                   (one page shows)
//   Label             + Control: textcolor disabledtextcolor fontsize bold
//                     align=left|center|right valign=top|center|bottom textpadding
//   Text              + Label                                   (wraps lines)
//   Button            + Label: hotbkcolor pushedbkcolor disabledbkcolor
//                     hottextcolor pushedtextcolor
//                     normalimage hotimage pushedimage disabledimage
//   CheckBox          + Button: selected selectedcolor boxcolor
//   Progress          + Label: min max value forecolor
//
// Colours are "#AARRGGBB" (or "#RRGGBB", opaque); booleans are "true"/"false";
// images are PNG files of the resource folder.  A child's width/height fix
// its size along the layout; children without one share what is left.
// float="true" places a child at pos relative to its parent.  Names should be
// unique; FindControl answers the first in document order.
#include "duilib/UIBuilder.h"

#include <pugixml.hpp>

#include <cstring>
#include <functional>
#include <map>

#include "duilib/UIManager.h"
#include "duilib/attributes.h"
#include "platform/platform.h"

namespace DuiLib {
namespace {

CControlUI* makeControl(const char* kind, IDialogBuilderCallback* callback) {
    static const std::map<std::string, std::function<CControlUI*()>> kinds = {
        {"Control", [] { return new CControlUI; }},
        {"Container", [] { return new CContainerUI; }},
        {"VerticalLayout", [] { return new CVerticalLayoutUI; }},
        {"HorizontalLayout", [] { return new CHorizontalLayoutUI; }},
        {"TabLayout", [] { return new CTabLayoutUI; }},
        {"Label", [] { return new CLabelUI; }},
        {"Text", [] { return new CTextUI; }},
        {"Button", [] { return new CButtonUI; }},
        {"CheckBox", [] { return new CCheckBoxUI; }},
        {"Progress", [] { return new CProgressUI; }},
    };
    auto found = kinds.find(kind);
    if (found != kinds.end()) {
        return found->second();
    }
    return callback ? callback->CreateControl(kind) : nullptr;
}

CControlUI* buildControl(const pugi::xml_node& node, IDialogBuilderCallback* callback) {
    CControlUI* control = makeControl(node.name(), callback);
    if (!control) {
        platform::debugOutput(std::string("duilib: unknown control kind ") + node.name());
        return nullptr;
    }
    for (const pugi::xml_attribute& a : node.attributes()) {
        control->SetAttribute(a.name(), a.value());
    }
    auto* container = dynamic_cast<CContainerUI*>(control);
    for (const pugi::xml_node& childNode : node.children()) {
        if (childNode.type() != pugi::node_element) {
            continue;
        }
        CControlUI* child = buildControl(childNode, callback);
        if (child && container) {
            container->Add(child);
        } else {
            delete child;
        }
    }
    return control;
}

// Caption and corners before the size: resizing sends WM_SIZE, and the
// window shapes itself from the corners then.
void applyWindowAttributes(const pugi::xml_node& window, CPaintManagerUI& manager) {
    if (pugi::xml_attribute a = window.attribute("caption")) {
        manager.SetCaptionRect(attr::toRect(a.value()));
    }
    if (pugi::xml_attribute a = window.attribute("roundcorner")) {
        SIZE corner = attr::toSize(a.value());
        manager.SetRoundCorner(corner.cx, corner.cy);
    }
    if (pugi::xml_attribute a = window.attribute("focuscolor")) {
        manager.SetFocusRingColor(attr::toColor(a.value()));
    }
    if (pugi::xml_attribute a = window.attribute("size")) {
        SIZE size = attr::toSize(a.value());
        manager.SetInitSize(size.cx, size.cy);
    }
}

// Layouts are a few kilobytes; anything past this is no layout.
constexpr std::size_t kLargestLayout = 1 << 20;

bool loadDocument(const char* xml, pugi::xml_document& doc) {
    pugi::xml_parse_result parsed;
    std::string where = "layout text";
    const char* text = xml + std::strspn(xml, " \t\r\n");
    if (text[0] == '<') {
        parsed = doc.load_string(xml);
    } else {
        where = attr::resourceFile(xml, CPaintManagerUI::GetResourcePath().str());
        std::string content;
        if (!CPaintManagerUI::ReadResource(xml, kLargestLayout, content)) {
            platform::debugOutput("duilib: cannot open " + where);
            return false;
        }
        parsed = doc.load_buffer(content.data(), content.size());
    }
    if (!parsed) {
        platform::debugOutput("duilib: cannot read " + where + ": " + parsed.description());
    }
    return static_cast<bool>(parsed);
}

}  // namespace

CControlUI* CDialogBuilder::Create(STRINGorID xml, STRINGorID, IDialogBuilderCallback* callback,
                                   CPaintManagerUI* manager, CControlUI* parent) {
    if (!xml.m_lpstr || !*xml.m_lpstr) {
        return nullptr;
    }
    pugi::xml_document doc;
    if (!loadDocument(xml.m_lpstr, doc)) {
        return nullptr;
    }
    pugi::xml_node window = doc.child("Window");
    pugi::xml_node rootNode = window ? window.find_child([](const pugi::xml_node& n) {
        return n.type() == pugi::node_element;
    })
                                     : doc.document_element();
    if (!rootNode) {
        platform::debugOutput("duilib: layout without a control");
        return nullptr;
    }
    if (window && manager) {
        applyWindowAttributes(window, *manager);
    }
    CControlUI* root = buildControl(rootNode, callback);
    if (root && parent) {
        if (auto* container = dynamic_cast<CContainerUI*>(parent)) {
            container->Add(root);
        }
    }
    return root;
}

}  // namespace DuiLib
