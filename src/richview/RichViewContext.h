// What the markup parser reads and changes of the text view that owns a document.
#pragma once

#include "richview/PictureCache.h"
#include "richview/RichNodes.h"
#include "richview/TextMeasurer.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

namespace tevro {

// Whether a font family of that name is installed, compared without regard to case (QFontDatabase).
bool IsInstalledFont(const QString& name);

// The view's side of parsing. The view implements it; tests implement it over a plain document.
class RichViewContext {
public:
    virtual ~RichViewContext() = default;

    // The document that parsed lines are appended to.
    virtual RichDocument& Document() = 0;

    // Font attributes every font node starts from; its BackColor also means "no background".
    virtual const TFontAttrs& BaseAttrs() const = 0;

    // Width and height of "X" in the view's font.
    virtual int CharWidth() const = 0;
    virtual int LineHeight() const = 0;

    // TAB belongs to every delimiter set and becomes TabWidth blanks (always true and 4 in the view).
    virtual bool ExpandTabs() const = 0;
    virtual int TabWidth() const = 0;

    // Macro definitions "name=text" of the a tag; they outlive the document's Clear.
    virtual QStringList& Aliases() = 0;

    // The view's client width including the scroll bar; rules take their width from it at parse time.
    virtual int ClientWidth() const = 0;

    // The surface words are measured on; it is left with the last font applied.
    virtual TextMeasurer& Measurer() = 0;

    // Picture and font look-ups; tests may replace them.
    virtual std::optional<PictureRef> LookUpPicture(const QString& name) { return FindPicture(name); }
    virtual bool FontInstalled(const QString& name) const { return IsInstalledFont(name); }
};

} // namespace tevro
