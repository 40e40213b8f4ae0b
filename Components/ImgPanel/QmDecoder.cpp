#include "Components/ImgPanel/QmDecoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

// Probability estimation of ITU-T T.81, Table D.3: Qe, next state after a less probable
// symbol, next state after a more probable symbol, exchange of the more probable sense.
const QmState kQmStates[kQmStateCount] = {
    {0x5A1D, 1, 1, 1},     {0x2586, 14, 2, 0},    {0x1114, 16, 3, 0},    {0x080B, 18, 4, 0},
    {0x03D8, 20, 5, 0},    {0x01DA, 23, 6, 0},    {0x00E5, 25, 7, 0},    {0x006F, 28, 8, 0},
    {0x0036, 30, 9, 0},    {0x001A, 33, 10, 0},   {0x000D, 35, 11, 0},   {0x0006, 9, 12, 0},
    {0x0003, 10, 13, 0},   {0x0001, 12, 13, 0},   {0x5A7F, 15, 15, 1},   {0x3F25, 36, 16, 0},
    {0x2CF2, 38, 17, 0},   {0x207C, 39, 18, 0},   {0x17B9, 40, 19, 0},   {0x1182, 42, 20, 0},
    {0x0CEF, 43, 21, 0},   {0x09A1, 45, 22, 0},   {0x072F, 46, 23, 0},   {0x055C, 48, 24, 0},
    {0x0406, 49, 25, 0},   {0x0303, 51, 26, 0},   {0x0240, 52, 27, 0},   {0x01B1, 54, 28, 0},
    {0x0144, 56, 29, 0},   {0x00F5, 57, 30, 0},   {0x00B7, 59, 31, 0},   {0x008A, 60, 32, 0},
    {0x0068, 62, 33, 0},   {0x004E, 63, 34, 0},   {0x003B, 32, 35, 0},   {0x002C, 33, 9, 0},
    {0x5AE1, 37, 37, 1},   {0x484C, 64, 38, 0},   {0x3A0D, 65, 39, 0},   {0x2EF1, 67, 40, 0},
    {0x261F, 68, 41, 0},   {0x1F33, 69, 42, 0},   {0x19A8, 70, 43, 0},   {0x1518, 72, 44, 0},
    {0x1177, 73, 45, 0},   {0x0E74, 74, 46, 0},   {0x0BFB, 75, 47, 0},   {0x09F8, 77, 48, 0},
    {0x0861, 78, 49, 0},   {0x0706, 79, 50, 0},   {0x05CD, 48, 51, 0},   {0x04DE, 50, 52, 0},
    {0x040F, 50, 53, 0},   {0x0363, 51, 54, 0},   {0x02D4, 52, 55, 0},   {0x025C, 53, 56, 0},
    {0x01F8, 54, 57, 0},   {0x01A4, 55, 58, 0},   {0x0160, 56, 59, 0},   {0x0125, 57, 60, 0},
    {0x00F6, 58, 61, 0},   {0x00CB, 59, 62, 0},   {0x00AB, 61, 63, 0},   {0x008F, 61, 32, 0},
    {0x5B12, 65, 65, 1},   {0x4D04, 80, 66, 0},   {0x412C, 81, 67, 0},   {0x37D8, 82, 68, 0},
    {0x2FE8, 83, 69, 0},   {0x293C, 84, 70, 0},   {0x2379, 86, 71, 0},   {0x1EDF, 87, 72, 0},
    {0x1AA9, 87, 73, 0},   {0x174E, 72, 74, 0},   {0x1424, 72, 75, 0},   {0x119C, 74, 76, 0},
    {0x0F6B, 74, 77, 0},   {0x0D51, 75, 78, 0},   {0x0BB6, 77, 79, 0},   {0x0A40, 77, 48, 0},
    {0x5832, 80, 81, 1},   {0x4D1C, 88, 82, 0},   {0x438E, 89, 83, 0},   {0x3BDD, 90, 84, 0},
    {0x34EE, 91, 85, 0},   {0x2EAE, 92, 86, 0},   {0x299A, 93, 87, 0},   {0x2516, 86, 71, 0},
    {0x5570, 88, 89, 1},   {0x4CA9, 95, 90, 0},   {0x44D9, 96, 91, 0},   {0x3E22, 97, 92, 0},
    {0x3824, 99, 93, 0},   {0x32B4, 99, 94, 0},   {0x2E17, 93, 86, 0},   {0x56A8, 95, 96, 1},
    {0x4F46, 101, 97, 0},  {0x47E5, 102, 98, 0},  {0x41CF, 103, 99, 0},  {0x3C3D, 104, 100, 0},
    {0x375E, 99, 93, 0},   {0x5231, 105, 102, 0}, {0x4C0F, 106, 103, 0}, {0x4639, 107, 104, 0},
    {0x415E, 103, 99, 0},  {0x5627, 105, 106, 1}, {0x50E7, 108, 107, 0}, {0x4B85, 109, 103, 0},
    {0x5597, 110, 109, 0}, {0x504F, 111, 107, 0}, {0x5A10, 110, 111, 1}, {0x5522, 112, 109, 0},
    {0x59EB, 112, 111, 1},
};

namespace {

std::array<QmTransition, 2 * kQmStateCount> MakeTransitions() {
    std::array<QmTransition, 2 * kQmStateCount> out{};
    for (int state = 0; state < kQmStateCount; ++state) {
        const QmState& st = kQmStates[state];
        for (int mps = 0; mps < 2; ++mps) {
            const auto self = static_cast<uint8_t>(2 * state + mps);
            const auto afterMps = static_cast<uint8_t>(2 * st.nextMps + mps);
            const auto afterLps = static_cast<uint8_t>(2 * st.nextLps + (mps ^ st.swap));
            out[self] =
                QmTransition{st.qe, {self, afterMps, afterLps}, static_cast<uint8_t>(mps), 0};
        }
    }
    return out;
}

}  // namespace

const std::array<QmTransition, 2 * kQmStateCount> kQmTransitions = MakeTransitions();

namespace {

// Undoes the escapes of bytes[from..] in place, up to the first escape that is not FF 00
// or the end of the bytes, and leaves there what remains: the data. Returns true when the
// data ended with the end escape FF 02.
bool Unstuff(std::vector<uint8_t>& bytes, size_t from) {
    uint8_t* const begin = bytes.data();
    const uint8_t* const end = begin + bytes.size();
    const uint8_t* read = begin + from;
    uint8_t* write = begin + from;
    bool endEscape = false;
    for (;;) {
        const auto* escape = static_cast<const uint8_t*>(std::memchr(read, 0xFF, end - read));
        const uint8_t* const stop = escape == nullptr ? end : escape;
        if (write != read) {
            std::memmove(write, read, static_cast<size_t>(stop - read));
        }
        write += stop - read;
        if (escape == nullptr || escape + 1 == end || escape[1] != 0x00) {
            endEscape = escape != nullptr && escape + 1 != end && escape[1] == 0x02;
            break;
        }
        *write++ = 0xFF;
        read = escape + 2;
    }
    bytes.resize(static_cast<size_t>(write - begin));
    return endEscape;
}

}  // namespace

QmDecoder::QmDecoder(const uint8_t* data, size_t size, int contexts)
    : QmDecoder(std::vector<uint8_t>(data, data + size), 0, contexts) {}

QmDecoder::QmDecoder(std::vector<uint8_t> bytes, size_t from, int contexts)
    : contexts_(static_cast<size_t>(contexts), kQmTransitions[0]) {
    from = std::min(from, bytes.size());
    endEscape_ = Unstuff(bytes, from);
    dataBytes_ = bytes.size() - from;
    bytes.resize(bytes.size() + kPadding);  // zeros; no new memory when there was room
    buffer_ = std::move(bytes);
    data_ = buffer_.data() + from;
    // Two bytes fill the compared half of the code register, four more wait below them.
    for (size_t i = 0; i < 6; ++i) {
        registers_.c = registers_.c << 8 | (i < dataBytes_ ? data_[i] : 0);
    }
    registers_.c <<= 16;
    registers_.ct = 32;
    registers_.loaded = 6;
}

// T.81's decoder reads two bytes when it starts and a third at its first renormalisation,
// and then one whenever the eight bits of the last are used up and more are needed: after
// s doublings it has read 2 + max(1, ceil(s / 8)) bytes. Here the doublings are the bits
// brought in less the ones still waiting.
bool QmDecoder::PastTheData() const {
    const size_t doublings = 8 * registers_.loaded - 16 - static_cast<size_t>(registers_.ct);
    const size_t read = 2 + std::max<size_t>(1, (doublings + 7) / 8);
    return read > dataBytes_;
}
