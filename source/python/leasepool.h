// Objects that serve one caller at a time (frame decoders, engine sessions), shared by the whole
// process: a caller leases one for as long as it needs it, an idle one of the kind it asks for
// or a new one when every such object is busy, so threads working at once each get their own.
// The lease gives it back; idle objects beyond a few of a kind are ended.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace tsr::python {

template <typename T> class LeasePool {
public:
    class Lease {
    public:
        Lease(LeasePool& pool, std::string key, std::unique_ptr<T> item)
            : m_pool(&pool), m_key(std::move(key)), m_item(std::move(item)) {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Lease(Lease&& other) noexcept = default;
        ~Lease() {
            if (m_item) m_pool->GiveBack(m_key, std::move(m_item));
        }
        T* operator->() const { return m_item.get(); }
        T& operator*() const { return *m_item; }

    private:
        LeasePool* m_pool;
        std::string m_key;
        std::unique_ptr<T> m_item;
    };

    explicit LeasePool(size_t maxIdlePerKind) : m_maxIdle(maxIdlePerKind) {}

    // An idle object of kind `key`, or make() (which may throw) when there is none.
    template <typename Make> Lease Take(const std::string& key, Make make) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            auto found = m_idle.find(key);
            if (found != m_idle.end()) {
                std::unique_ptr<T> item = std::move(found->second);
                m_idle.erase(found);
                return Lease(*this, key, std::move(item));
            }
        }
        return Lease(*this, key, make());
    }

private:
    void GiveBack(const std::string& key, std::unique_ptr<T> item) {
        std::unique_ptr<T> surplus; // ended outside the lock
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_idle.count(key) < m_maxIdle)
            m_idle.emplace(key, std::move(item));
        else
            surplus = std::move(item);
    }

    size_t m_maxIdle;
    std::mutex m_mutex;
    std::multimap<std::string, std::unique_ptr<T>> m_idle;
};

} // namespace tsr::python
