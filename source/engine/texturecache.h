// Cache of uploaded-frame images: hands a free image of the right format and size back out
// instead of allocating one per frame.
#pragma once

#include <cstdint>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "clapi.h"

namespace tsr {

// Optional lock of a cache; records the thread that last took it.
class CacheLock {
public:
    void Take() {
        m_mutex.lock();
        m_owner = std::this_thread::get_id();
    }
    void Give() { m_mutex.unlock(); }

private:
    std::mutex m_mutex;
    std::thread::id m_owner;
};

// Keeps images (owned references) with a free flag, in insertion order. `Derived` supplies how
// images are made, matched and released.
template <typename Derived, typename Image, typename Format> class TextureCache {
public:
    TextureCache(bool locking, std::uint32_t limit) : m_limit(limit) {
        if (locking) {
            m_lock = new (std::nothrow) CacheLock();
            m_lockInUse = m_lock != nullptr;
        }
    }
    TextureCache(const TextureCache&) = delete;
    TextureCache& operator=(const TextureCache&) = delete;
    virtual ~TextureCache() {
        delete m_lock;
        for (Entry& entry : m_entries) Derived::DestroyImage(entry.image);
    }

    // A free matching image, marked in use, or a new one (null when creation fails). While the
    // cache holds more than its limit, free non-matching entries met on the way are dropped.
    Image AcquireImage(const Format& format, std::uint32_t width, std::uint32_t height) {
        Hold hold(*this);
        Image found{};
        bool haveFound = false;
        for (size_t i = 0; i < m_entries.size();) {
            if (haveFound && m_entries.size() <= m_limit) break;
            Entry& entry = m_entries[i];
            if (!entry.free) {
                ++i;
                continue;
            }
            if (!haveFound && static_cast<Derived*>(this)->Matches(entry.image, format, width, height)) {
                entry.free = false;
                found = entry.image;
                haveFound = true;
                ++i;
                continue;
            }
            if (m_entries.size() > m_limit) {
                Derived::DestroyImage(entry.image);
                m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            ++i;
        }
        if (haveFound) return found;
        Image created = Create(format, width, height);
        if (created) {
            try {
                m_entries.push_back(Entry{created, false});
            } catch (const std::bad_alloc&) {
                Derived::DestroyImage(created);
                return Image{};
            }
        }
        return created;
    }

    // Marks the first entry holding `image` free again; an image the cache does not hold is
    // ignored.
    void ReleaseImage(Image image) {
        Hold hold(*this);
        for (Entry& entry : m_entries) {
            if (entry.image == image) {
                entry.free = true;
                return;
            }
        }
    }

    size_t EntryCount() const { return m_entries.size(); }

protected:
    virtual Image Create(const Format& format, std::uint32_t width, std::uint32_t height) = 0;

private:
    struct Entry {
        Image image;
        bool free;
    };
    class Hold {
    public:
        explicit Hold(TextureCache& cache) : m_lock(cache.m_lockInUse ? cache.m_lock : nullptr) {
            if (m_lock) m_lock->Take();
        }
        ~Hold() {
            if (m_lock) m_lock->Give();
        }

    private:
        CacheLock* m_lock;
    };

    bool m_lockInUse = false;
    CacheLock* m_lock = nullptr;
    std::uint32_t m_limit;
    std::vector<Entry> m_entries;
};

class OpenCLTextureCache : public TextureCache<OpenCLTextureCache, cl_mem, cl_image_format> {
public:
    OpenCLTextureCache(cl_context context, bool locking, std::uint32_t limit);
    ~OpenCLTextureCache() override;

    bool Matches(cl_mem image, const cl_image_format& format, std::uint32_t width,
                 std::uint32_t height) const;
    static void DestroyImage(cl_mem image) { clReleaseMemObject(image); }

protected:
    cl_mem Create(const cl_image_format& format, std::uint32_t width, std::uint32_t height) override;

private:
    cl_context m_context = nullptr;
};

} // namespace tsr
