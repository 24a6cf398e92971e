// Deterministic mutations of valid inputs for the bounded fuzz tests: the damage a parser meets
// in files that were cut, flipped, spliced together or edited by hand. Header only, so the
// platform's tests can use it as well.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace orq::test {

class Mutator {
  public:
    using Bytes = std::vector<uint8_t>;

    // corpus: the valid inputs; mutations start from one of them and splice in pieces of any.
    Mutator(uint32_t seed, std::vector<Bytes> corpus) : random_(seed), corpus_(std::move(corpus)) {}

    // One to three mutations of a corpus entry.
    Bytes next() {
        Bytes bytes = corpus_[below(corpus_.size())];
        const size_t steps = 1 + below(3);
        for (size_t i = 0; i < steps; ++i)
            mutate(bytes);
        return bytes;
    }

  private:
    size_t below(size_t n) { return n == 0 ? 0 : size_t(random_() % n); }

    void mutate(Bytes& b) {
        switch (below(8)) {
        case 0: // flip one to four bits
            for (size_t n = 1 + below(4); n > 0 && !b.empty(); --n)
                b[below(b.size())] ^= uint8_t(1u << below(8));
            break;
        case 1: // cut short
            b.resize(below(b.size() + 1));
            break;
        case 2: { // overwrite a range with a range of another (or the same) input
            const Bytes& other = corpus_[below(corpus_.size())];
            if (other.empty()) break;
            const size_t from = below(other.size());
            const size_t length = 1 + below(std::min<size_t>(other.size() - from, 64));
            const size_t at = below(b.size() + 1);
            if (at + length > b.size()) b.resize(at + length);
            std::copy_n(other.begin() + long(from), length, b.begin() + long(at));
            break;
        }
        case 3: { // a 32-bit field (count, size, length, float) set to a telling value
            if (b.size() < 4) break;
            const size_t at = below(b.size() / 4) * 4;
            uint32_t old;
            std::memcpy(&old, b.data() + at, 4);
            const uint32_t telling[] = {0u,          1u,          old + 1,     old - 1,
                                        old * 2,     0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu,
                                        0x40000000u, 0x00010000u, 0x7FC00000u, // NaN
                                        0x7F800000u, 0xFF800000u, 0x7F7FFFFFu, // ±inf, max
                                        0x00000001u, 0x4E6E6B28u};             // denormal, 1e9
            const uint32_t v = telling[below(std::size(telling))];
            std::memcpy(b.data() + at, &v, 4);
            break;
        }
        case 4: { // insert random bytes
            const size_t at = below(b.size() + 1);
            Bytes add(1 + below(16));
            for (uint8_t& x : add)
                x = uint8_t(random_());
            b.insert(b.begin() + long(at), add.begin(), add.end());
            break;
        }
        case 5: { // remove a range
            if (b.empty()) break;
            const size_t at = below(b.size());
            const size_t length = 1 + below(std::min<size_t>(b.size() - at, 32));
            b.erase(b.begin() + long(at), b.begin() + long(at + length));
            break;
        }
        case 6: { // repeat a range
            if (b.empty()) break;
            const size_t at = below(b.size());
            const size_t length = 1 + below(std::min<size_t>(b.size() - at, 64));
            const Bytes piece(b.begin() + long(at), b.begin() + long(at + length));
            b.insert(b.begin() + long(at), piece.begin(), piece.end());
            break;
        }
        default: // random bytes here and there
            for (size_t n = 1 + below(4); n > 0 && !b.empty(); --n)
                b[below(b.size())] = uint8_t(random_());
            break;
        }
    }

    std::mt19937 random_;
    std::vector<Bytes> corpus_;
};

} // namespace orq::test
