#include "textureimagecache.h"

namespace tsr {

std::shared_ptr<CLImage> TextureImageCache::Find(ID3D11Texture2D* texture) {
    const auto found = m_entries.find(texture);
    if (found == m_entries.end()) return nullptr;
    m_recency.splice(m_recency.end(), m_recency, found->second.position);
    return found->second.image;
}

void TextureImageCache::Insert(ID3D11Texture2D* texture, std::shared_ptr<CLImage> image) {
    const auto existing = m_entries.find(texture);
    if (existing != m_entries.end()) {
        m_recency.erase(existing->second.position);
    } else if (m_entries.size() >= kCapacity) {
        m_entries.erase(m_recency.front());
        m_recency.pop_front();
    }
    m_recency.push_back(texture);
    m_entries[texture] = Entry{std::move(image), std::prev(m_recency.end())};
}

void TextureImageCache::Forget(ID3D11Texture2D* texture) {
    const auto found = m_entries.find(texture);
    if (found == m_entries.end()) return;
    m_recency.erase(found->second.position);
    m_entries.erase(found);
}

void TextureImageCache::Clear() {
    m_recency.clear();
    m_entries.clear();
}

} // namespace tsr
