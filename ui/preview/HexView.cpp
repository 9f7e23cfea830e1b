#include "ui/preview/HexView.h"

#include <QFontDatabase>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <span>

namespace {
constexpr std::size_t kPagesKept = 8;
constexpr int kTextMargin = 4;
// Offset, two spaces, 16 bytes of three characters, the gap after 8, a space, 16 characters.
constexpr int kLineChars = 8 + 2 + HexView::kBytesPerLine * 3 + 1 + 1 + HexView::kBytesPerLine;
constexpr int kPreferredLines = 24;
} // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

void HexView::setSource(Source source, std::uint64_t size)
{
    m_source = std::move(source);
    m_nSize = size;
    m_pages.clear();
    verticalScrollBar()->setValue(0);
    updateScrollBar();
    viewport()->update();
}

QSize HexView::minimumSizeHint() const
{
    const int width = 2 * kTextMargin +
                      fontMetrics().horizontalAdvance(QString(kLineChars, QLatin1Char('0'))) +
                      verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
    return {width, 4 * fontMetrics().height() + 2 * frameWidth()};
}

QSize HexView::sizeHint() const
{
    return {minimumSizeHint().width(), kPreferredLines * fontMetrics().height() + 2 * frameWidth()};
}

const std::vector<unsigned char>& HexView::page(std::uint64_t index)
{
    auto it = m_pages.find(index);
    if (it != m_pages.end())
        return it->second;
    if (m_pages.size() >= kPagesKept)
        m_pages.erase(m_pages.begin());
    std::vector<unsigned char> bytes;
    try {
        if (m_source)
            bytes = m_source(index * kPageBytes, kPageBytes);
    } catch (const std::exception&) {
        // The window has already said why the entry cannot be read; the lines stay empty.
    }
    ++m_nPagesRead;
    return m_pages.emplace(index, std::move(bytes)).first->second;
}

QString HexView::lineText(std::uint64_t line)
{
    const std::uint64_t offset = line * kBytesPerLine;
    if (offset >= m_nSize)
        return {};
    const std::vector<unsigned char>& bytes = page(offset / kPageBytes);
    const std::size_t at = std::min<std::size_t>(offset % kPageBytes, bytes.size());
    const auto count = static_cast<std::size_t>(
        std::min<std::uint64_t>({kBytesPerLine, bytes.size() - at, m_nSize - offset}));
    return QString::fromStdString(
        session::EntryPreview::hexLine(std::span(bytes).subspan(at, count), offset));
}

void HexView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const int lineHeight = fontMetrics().height();
    const auto first = static_cast<std::uint64_t>(verticalScrollBar()->value());
    const int visible = viewport()->height() / lineHeight + 1;
    for (int i = 0; i < visible; ++i) {
        const QString line = lineText(first + static_cast<std::uint64_t>(i));
        if (line.isEmpty())
            break;
        painter.drawText(kTextMargin, i * lineHeight + fontMetrics().ascent(), line);
    }
}

void HexView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void HexView::updateScrollBar()
{
    const std::uint64_t lines = (m_nSize + kBytesPerLine - 1) / kBytesPerLine;
    const int visible = std::max(1, viewport()->height() / fontMetrics().height());
    verticalScrollBar()->setRange(
        0, static_cast<int>(std::max<std::uint64_t>(lines, visible) - visible));
    verticalScrollBar()->setPageStep(visible);
}
