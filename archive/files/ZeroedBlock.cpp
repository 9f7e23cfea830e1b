#include "archive/files/ZeroedBlock.h"

#include "archive/files/Platform.h"

#include <new>
#include <utility>

namespace archive {

ZeroedBlock::ZeroedBlock(std::size_t bytes)
{
    if (bytes == 0)
        return;
    m_p = platform::allocateZeroed(bytes);
    if (!m_p)
        throw std::bad_alloc();
    m_nBytes = bytes;
}

ZeroedBlock::~ZeroedBlock()
{
    reset();
}

ZeroedBlock::ZeroedBlock(ZeroedBlock&& other) noexcept
    : m_p(std::exchange(other.m_p, nullptr)), m_nBytes(std::exchange(other.m_nBytes, 0))
{
}

ZeroedBlock& ZeroedBlock::operator=(ZeroedBlock&& other) noexcept
{
    if (this != &other) {
        reset();
        m_p = std::exchange(other.m_p, nullptr);
        m_nBytes = std::exchange(other.m_nBytes, 0);
    }
    return *this;
}

void ZeroedBlock::reset() noexcept
{
    platform::releaseZeroed(m_p, m_nBytes);
    m_p = nullptr;
    m_nBytes = 0;
}

} // namespace archive
