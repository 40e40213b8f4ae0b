// Two decodes at once share nothing: run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <thread>

#include "Images/J2000/Decoder.h"
#include "tests/Images/J2000/CodestreamEdit.h"

namespace j2000 {
namespace {

std::vector<std::int64_t> packet_lengths(j2000test::Bytes bytes, DecodeStatus& status) {
    std::vector<std::int64_t> lengths;
    StreamPtr in = stream_memopen(bytes.data(), bytes.size());
    DecodeEnv env;
    env.diag = Diagnostics([](const std::string&) {});
    env.on_packet = [&lengths](const PacketInfo& p) { lengths.push_back(p.end - p.start); };
    status = jpc_decode(*in, "", nullptr, env).status;
    return lengths;
}

TEST(Decoder, TwoDecodesRunAtOnce) {
    const auto bytes = j2000test::read_file(j2000test::fixture_path("c64x48_rlcp_sop_eph.j2k"));
    DecodeStatus sa = DecodeStatus::Failed, sb = DecodeStatus::Failed;
    std::vector<std::int64_t> a, b;
    std::thread other([&a, &sa, bytes] { a = packet_lengths(bytes, sa); });
    b = packet_lengths(bytes, sb);
    other.join();
    EXPECT_EQ(sa, DecodeStatus::Ok);
    EXPECT_EQ(sb, DecodeStatus::Ok);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.size(), 432u);
}

}  // namespace
}  // namespace j2000
