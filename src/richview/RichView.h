// TRichView: the custom-drawn markup text view (message log, help page) with its document and scroll bar.
#pragma once

#include "richview/RichLayout.h"
#include "richview/RichNodes.h"
#include "richview/RichPainting.h"
#include "richview/RichViewContext.h"

#include <QPixmap>
#include <QStringList>
#include <QWidget>
#include <memory>

class TExScrollBar;

// Shows a document written in the program's markup with word wrapping, fonts, colours, pictures,
// rules, a tiled background and a vertical scroll bar. Text is appended with AddText and the oldest
// paragraphs are dropped with DeleteParagraph; every change of the document emits OnChange.
class TRichView : public QWidget, private tevro::RichViewContext {
    Q_OBJECT
    Q_PROPERTY(bool AutoGoLast READ AutoGoLast WRITE SetAutoGoLast)
    Q_PROPERTY(bool ShowHidden READ ShowHidden WRITE SetShowHidden)
    Q_PROPERTY(QPixmap Background READ Background WRITE SetBackground)
    Q_PROPERTY(bool PanBackground READ PanBackground WRITE SetPanBackground)
    Q_PROPERTY(bool LastEmpty READ LastEmpty)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)

public:
    explicit TRichView(QWidget* parent = nullptr);
    ~TRichView() override;

    // Appends markup text; lines are separated by CR LF. Runs one layout pass and OnChange.
    void AddText(const QString& text);
    // Removes the whole document (macros and LastEmpty stay).
    void Clear();
    // Appends every line of the named built-in text resource (case-blind name), one AddText per line.
    // Returns false and fills `error` when there is no such resource; the document is then unchanged.
    bool LoadFromResource(const QString& name, QString* error = nullptr);
    void GoFirst();
    void GoLast();
    // Removes paragraph `number` (0 is the oldest) and renumbers the later ones.
    void DeleteParagraph(qint32 number);
    // 102 for every node of the document: the measure the message log is trimmed by.
    qint32 DocumentSize() const;

    bool AutoGoLast() const { return m_autoGoLast; }
    void SetAutoGoLast(bool on);
    bool ShowHidden() const { return m_showHidden; }
    void SetShowHidden(bool on);
    const QPixmap& Background() const { return m_background; }
    void SetBackground(const QPixmap& tile);
    bool PanBackground() const { return m_panBackground; }
    void SetPanBackground(bool on) { m_panBackground = on; }
    // The last line added was empty or a bare paragraph tag.
    bool LastEmpty() const { return m_lastEmpty; }

    // The control's colour (the palette's window role); it becomes the base back colour.
    QColor Color() const;
    void SetColor(const QColor& color);

    TExScrollBar* ScrollBar() const { return m_scrollBar; }

    // The font attributes every font node starts from (from the control's colour and font), and the
    // extent of "X" in the control's font.
    const tevro::TFontAttrs& BaseAttrs() const override { return m_baseAttrs; }
    int CharWidth() const override { return m_charWidth; }
    int LineHeight() const override { return m_lineHeight; }

    // Replaces the surface words are measured on; tests measure with exact fixed widths. Measures "X"
    // again; text already added keeps its widths.
    void SetMeasurer(std::unique_ptr<tevro::TextMeasurer> measurer);

    // The nodes of the document, oldest first.
    const tevro::RichDocument& Content() const { return m_document; }

    // One whole walk over the document: returns the content height in pixels; with `paint` it also
    // draws the visible part into an off-screen pixmap and copies that onto the widget. Changes of the
    // document lay out only what they appended (see ContentHeight).
    int LayoutPass(bool paint);
    void UpdateScrollRange(int contentHeight);
    // Asks for a repaint of the text area (not the scroll bar).
    void InvalidateText();

Q_SIGNALS:
    // After every change of the document.
    void OnChange(TRichView* sender);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // What the parser reads and changes of the view.
    tevro::RichDocument& Document() override { return m_document; }
    bool ExpandTabs() const override { return true; }
    int TabWidth() const override { return 4; }
    QStringList& Aliases() override { return m_aliases; }
    int ClientWidth() const override { return width(); }
    tevro::TextMeasurer& Measurer() override { return *m_measurer; }
    std::optional<tevro::PictureRef> LookUpPicture(const QString& name) override { return m_pictures.LookUp(name); }

    // The content height after a change, laying out only what was appended where it can.
    int LaidOutHeight();
    void ContentChanged(int contentHeight);
    // The bar's own state: a disabled parent window disables it too, but the view still scrolls.
    bool BarEnabled() const;
    void FontChanged();
    int BarWidth() const;
    tevro::LayoutMetrics Metrics() const;

    tevro::RichDocument m_document;
    tevro::ContentHeight m_contentHeight;
    QStringList m_aliases;
    tevro::TFontAttrs m_baseAttrs;
    tevro::ViewFonts m_fonts;
    std::unique_ptr<tevro::TextMeasurer> m_measurer;
    tevro::PictureCache m_pictures;
    int m_charWidth = -1;
    int m_lineHeight = -1;
    bool m_painting = false; // inside paintEvent, where the widget may be painted on

    TExScrollBar* m_scrollBar = nullptr;
    QPixmap m_background;
    bool m_panBackground = true;
    bool m_autoGoLast = true;
    bool m_lastEmpty = false;
    bool m_showHidden = false;
};
