#pragma once

#include "session/preview/EntryPreview.h"

#include <QAbstractScrollArea>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

// Offset, 16 bytes in hex and the same bytes as text, one line each. Bytes come from a source
// asked for one page at a time as the view scrolls, so a large entry is never read whole.
class HexView : public QAbstractScrollArea {
public:
    using Source =
        std::function<std::vector<unsigned char>(std::uint64_t offset, std::size_t count)>;
    static constexpr std::size_t kPageBytes = 64 * 1024;
    static constexpr int kBytesPerLine = int(session::EntryPreview::kBytesPerLine);

    explicit HexView(QWidget* parent = nullptr);

    void setSource(Source source, std::uint64_t size);
    // Wide enough for a whole line and its scroll bar.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    std::uint64_t size() const { return m_nSize; }
    // The text of line (16 bytes each), as drawn.
    QString lineText(std::uint64_t line);
    // Pages read so far; the view keeps only the last few.
    int pagesRead() const { return m_nPagesRead; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const std::vector<unsigned char>& page(std::uint64_t index);
    void updateScrollBar();

    Source m_source;
    std::uint64_t m_nSize = 0;
    std::map<std::uint64_t, std::vector<unsigned char>> m_pages;
    int m_nPagesRead = 0;
};
