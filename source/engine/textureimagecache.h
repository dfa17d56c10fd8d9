// Least-recently-used cache of the OpenCL images made from Direct3D 11 textures, keyed by the
// texture pointer (no reference is taken on the texture).
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <unordered_map>

#include "climage.h"

struct ID3D11Texture2D;

namespace tsr {

class TextureImageCache {
public:
    static constexpr std::size_t kCapacity = 10;

    // The cached image for `texture`, made most recently used; null when not cached.
    std::shared_ptr<CLImage> Find(ID3D11Texture2D* texture);
    // Caches `image` for `texture` as most recently used, evicting the least recently used entry
    // when the cache is full.
    void Insert(ID3D11Texture2D* texture, std::shared_ptr<CLImage> image);
    void Forget(ID3D11Texture2D* texture);
    void Clear();
    std::size_t Size() const { return m_entries.size(); }

private:
    struct Entry {
        std::shared_ptr<CLImage> image;
        std::list<ID3D11Texture2D*>::iterator position;
    };
    std::list<ID3D11Texture2D*> m_recency; // least recently used first
    std::unordered_map<ID3D11Texture2D*, Entry> m_entries;
};

} // namespace tsr
