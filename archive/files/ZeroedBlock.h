#pragma once

#include <cstddef>

namespace archive {

// Zero-filled memory taken from the system for one archive's large tables (its directory, its
// record positions): pages only cost once touched, in large pages where the system has them.
// A fault per 4 KiB page of a fresh directory of a million records cost more than reading it.
class ZeroedBlock {
public:
    ZeroedBlock() = default;
    // std::bad_alloc when the system refuses.
    explicit ZeroedBlock(std::size_t bytes);
    ~ZeroedBlock();
    ZeroedBlock(ZeroedBlock&& other) noexcept;
    ZeroedBlock& operator=(ZeroedBlock&& other) noexcept;
    ZeroedBlock(const ZeroedBlock&) = delete;
    ZeroedBlock& operator=(const ZeroedBlock&) = delete;

    void reset() noexcept;
    std::size_t size() const noexcept { return m_nBytes; }
    // nullptr for an empty block.
    unsigned char* data() const noexcept { return static_cast<unsigned char*>(m_p); }
    // The block as an array of T; suitably aligned for any T.
    template <typename T> T* as() const noexcept { return static_cast<T*>(m_p); }

private:
    void* m_p = nullptr;
    std::size_t m_nBytes = 0;
};

} // namespace archive
