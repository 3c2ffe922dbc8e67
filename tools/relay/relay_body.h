#pragma once

#include "relay_protocol.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/beast/core/buffers_range.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/optional/optional.hpp>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// Request bodies charged against one budget for the whole service, so that many connections
// each sending most of a large body cannot together exhaust its memory.
namespace relay {

class BodyBudget {
public:
    explicit BodyBudget(size_t cap) : m_cap(cap) {}
    // False, taking nothing, when `n` more bytes would pass the cap.
    bool take(size_t n)
    {
        size_t held = m_held.load(std::memory_order_relaxed);
        do {
            if (n > m_cap - held)
                return false;
        } while (!m_held.compare_exchange_weak(held, held + n, std::memory_order_relaxed));
        return true;
    }
    void give(size_t n) { m_held.fetch_sub(n, std::memory_order_relaxed); }
    size_t held() const { return m_held.load(std::memory_order_relaxed); }

private:
    const size_t m_cap;
    std::atomic<size_t> m_held{0};
};

// A body's text and what it holds of its budget, given back when the text goes.
class BudgetedText {
public:
    static constexpr size_t kUnchargedBytes = 4096;

    BudgetedText() = default;
    BudgetedText(BudgetedText&& other) noexcept
        : text(std::move(other.text)), m_budget(other.m_budget), m_charged(std::exchange(other.m_charged, 0))
    {
        other.text.clear();
    }
    BudgetedText& operator=(BudgetedText&& other) noexcept
    {
        if (this != &other) {
            release();
            text = std::move(other.text);
            other.text.clear();
            m_budget = other.m_budget;
            m_charged = std::exchange(other.m_charged, 0);
        }
        return *this;
    }
    BudgetedText(const BudgetedText&) = delete;
    BudgetedText& operator=(const BudgetedText&) = delete;
    ~BudgetedText() { release(); }

    void chargeTo(BodyBudget* budget) { m_budget = budget; }
    // Appends what fits the budget; false (appending nothing) when it does not. The budget is
    // charged with the memory held, which grows by doubling up to the largest request. A body
    // of up to kUnchargedBytes (every request Velmora sends) is not charged: its memory is bounded
    // by the connections, like their read buffers, and a full budget never refuses it.
    bool append(const char* data, size_t n)
    {
        const size_t needed = text.size() + n;
        if (needed > text.capacity()) {
            const size_t grown =
                std::max(needed, std::min(std::max<size_t>(2 * text.capacity(), 1024), kMaxRequestBytes));
            const size_t charge = grown > kUnchargedBytes ? grown : 0;
            if (m_budget && charge > 0 && !m_budget->take(charge - m_charged))
                return false;
            // Built afresh so that the capacity is what was charged, not what the library picks.
            std::string bigger;
            bigger.reserve(grown);
            bigger.append(text);
            text.swap(bigger);
            if (m_budget)
                m_charged = charge;
        }
        text.append(data, n);
        return true;
    }
    void release()
    {
        if (m_budget && m_charged)
            m_budget->give(m_charged);
        m_charged = 0;
        std::string().swap(text);
    }

    std::string text;

private:
    BodyBudget* m_budget = nullptr;
    size_t m_charged = 0;
};

// A Beast body that grows with what arrives (never reserved at the announced length, which a
// client may send none of) and refuses with no_buffer_space past the budget.
struct BudgetedBody {
    using value_type = BudgetedText;

    static std::uint64_t size(const value_type& body) { return body.text.size(); }

    class reader {
    public:
        template <bool isRequest, class Fields>
        reader(boost::beast::http::header<isRequest, Fields>&, value_type& body) : m_body(body)
        {
        }
        void init(const boost::optional<std::uint64_t>&, boost::system::error_code& ec) { ec = {}; }
        template <class ConstBufferSequence>
        size_t put(const ConstBufferSequence& buffers, boost::system::error_code& ec)
        {
            size_t taken = 0;
            for (const auto buffer : boost::beast::buffers_range_ref(buffers)) {
                if (!m_body.append(static_cast<const char*>(buffer.data()), buffer.size())) {
                    ec = boost::asio::error::no_buffer_space;
                    return taken;
                }
                taken += buffer.size();
            }
            ec = {};
            return taken;
        }
        void finish(boost::system::error_code& ec) { ec = {}; }

    private:
        value_type& m_body;
    };
};

} // namespace relay
