// Decoding on several threads: two decodes at once share nothing, a decode's pool runs every job
// once, a tile decoded on any number of threads is the one-thread image, and a stop lands at
// whichever check it is asked at, the cancel hook being called on the decoding thread only. Run
// under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "Images/J2000/Decoder.h"
#include "Images/J2000/DeferredRelease.h"
#include "Images/J2000/Reconstruction.h"
#include "Images/J2000/WorkerPool.h"
#include "tests/Images/J2000/CodestreamEdit.h"
#include "tests/Images/J2000/ReferencePictures.h"

namespace j2000 {
namespace {

// Memory that runs short where the test says: on every thread but the decoding one (the pool's
// helpers), or for blocks of 1 MiB and more on any thread.
enum class Shortage { None, Helpers, Large };
std::atomic<Shortage> shortage{Shortage::None};
std::atomic<std::thread::id> decodingThread;

}  // namespace

bool AllocationRunsShort(std::size_t bytes) {
    switch (shortage.load(std::memory_order_relaxed)) {
        case Shortage::None:
            return false;
        case Shortage::Helpers:
            return std::this_thread::get_id() != decodingThread.load();
        case Shortage::Large:
            return bytes >= (std::size_t{1} << 20);
    }
    return false;
}

}  // namespace j2000

// The replaced allocation functions take their blocks from malloc, out of line: inlined, the
// compiler would warn that free is given what new returned.
[[gnu::noinline]] void* TakeBlock(std::size_t bytes) {
    if (j2000::AllocationRunsShort(bytes))
        throw std::bad_alloc();
    if (void* p = std::malloc(bytes == 0 ? 1 : bytes))
        return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void GiveBlock(void* p) noexcept {
    std::free(p);
}
void* operator new(std::size_t bytes) {
    return TakeBlock(bytes);
}
void operator delete(void* p) noexcept {
    GiveBlock(p);
}
void operator delete(void* p, std::size_t) noexcept {
    GiveBlock(p);
}

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

TEST(WorkerPool, RunsEveryJobOnceAndEndsAtAStopOrAFailure) {
    const auto caller = std::this_thread::get_id();
    for (const unsigned threads : {1u, 2u, 5u}) {
        WorkerPool pool(threads);
        EXPECT_EQ(pool.Threads(), static_cast<int>(threads));
        for (const size_t count : {0u, 1u, 2u, 37u, 1000u}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(count) + " jobs");
            std::vector<std::atomic<int>> runs(count);
            std::atomic<bool> badWorker{false}, askedElsewhere{false};
            const auto outcome = pool.Run(
                count,
                [&](size_t i, int worker) {
                    badWorker = badWorker || worker < 0 || worker >= pool.Threads();
                    ++runs[i];
                    return true;
                },
                [&] {
                    askedElsewhere = askedElsewhere || std::this_thread::get_id() != caller;
                    return false;
                });
            EXPECT_EQ(outcome, WorkerPool::Outcome::Done);
            for (size_t i = 0; i < count; ++i)
                ASSERT_EQ(runs[i], 1) << "job " << i;
            EXPECT_FALSE(badWorker);
            EXPECT_FALSE(askedElsewhere);
        }
        // A stop asked at the caller's fifth check (helpers hold their job until then), a
        // failing job and one without memory end their loop; the pool serves the next one.
        std::atomic<int> checks{0}, started{0};
        const auto count = [&](size_t, int) { return ++started, true; };
        const auto held = [&](size_t, int worker) {
            while (worker != 0 && checks < 5)
                std::this_thread::yield();
            return ++started, true;
        };
        EXPECT_EQ(pool.Run(100000, held, [&] { return ++checks == 5; }),
                  WorkerPool::Outcome::Stopped);
        EXPECT_EQ(checks, 5);
        EXPECT_LE(started, 4 + pool.Threads() - 1);
        const auto fails = [](size_t i, int) { return i != 3; };
        EXPECT_EQ(pool.Run(100, fails, [] { return false; }), WorkerPool::Outcome::Failed);
        const auto throws = [](size_t i, int) -> bool {
            if (i == 7)
                throw std::bad_alloc();
            return true;
        };
        EXPECT_EQ(pool.Run(100, throws, [] { return false; }), WorkerPool::Outcome::Failed);
        started = 0;
        EXPECT_EQ(pool.Run(50, count, [] { return false; }), WorkerPool::Outcome::Done);
        EXPECT_EQ(started, 50);
    }
}

// Memory short on a helper thread (its tier-1 scratch) or for a large block (the image's store)
// ends the decode for want of resources ("out of memory", overLimits), which the panel reports
// as 8: never as a broken stream, nor by ending the program.
TEST(ThreadedDecode, MemoryShortEndsTheDecodeForWantOfResources) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocation functions take the place of the test's";
#endif
    auto bytes = j2000test::read_file(j2000test::fixture_path("g2048_pcrl_tiles.j2k"));
    for (const Shortage kind : {Shortage::Helpers, Shortage::Large}) {
        StreamPtr in = stream_memopen(bytes.data(), bytes.size());
        std::string texts;
        DecodeEnv env;
        env.diag = Diagnostics([&texts](const std::string& t) { texts += t; });
        env.decodetile = jpc_dec_tiledecode;
        env.threads = 4;
        decodingThread = std::this_thread::get_id();
        shortage = kind;
        DecodeResult result = jpc_decode(*in, "", nullptr, env);
        shortage = Shortage::None;
        EXPECT_EQ(result.status, DecodeStatus::Failed) << texts;
        EXPECT_TRUE(result.overLimits) << texts;
        EXPECT_NE(texts.find("out of memory"), std::string::npos) << texts;
    }
}

// What a decode hands over (planes, stores, tiles) is destroyed on another thread, each object
// once and in the order given, so that the decode returns without waiting for it.
TEST(DeferredRelease, DestroysOnAnotherThreadInOrder) {
    struct Log {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<int> order;
        bool onCaller = false;
    } log;
    struct Probe {
        Log& log;
        int n;
        std::thread::id caller = std::this_thread::get_id();
        ~Probe() {
            std::lock_guard<std::mutex> lock(log.mutex);
            log.order.push_back(n);
            log.onCaller = log.onCaller || std::this_thread::get_id() == caller;
            log.changed.notify_all();
        }
    };
    for (int n = 0; n < 5; ++n)
        release_later(std::make_unique<Probe>(log, n));
    std::unique_lock<std::mutex> lock(log.mutex);
    ASSERT_TRUE(log.changed.wait_for(lock, std::chrono::seconds(30),
                                     [&log] { return log.order.size() == 5; }));
    EXPECT_EQ(log.order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(log.onCaller);
}

// Counts the hook's calls, notes for each how many packets had been read, and notes a call from
// another thread. Answers "stop" at the `stopAt`-th call after `startAfterPackets` packets were
// read (never when stopAt is 0).
struct CountingCancel {
    jpc_cancel_t record{this, &CountingCancel::Check};
    std::thread::id decodingThread = std::this_thread::get_id();
    int packets = 0;
    std::vector<int> packetsAtCall;
    int startAfterPackets = 0, counted = 0, stopAt = 0;
    bool calledElsewhere = false;

    static int Check(const jpc_cancel_t* cancel) {
        auto* self = static_cast<CountingCancel*>(cancel->handle);
        self->calledElsewhere |= std::this_thread::get_id() != self->decodingThread;
        self->packetsAtCall.push_back(self->packets);
        self->counted += self->packets >= self->startAfterPackets;
        return self->stopAt > 0 && self->counted >= self->stopAt;
    }
};

struct Decoded {
    DecodeStatus status = DecodeStatus::Failed;
    int tiles = 0;
    std::vector<std::vector<std::int32_t>> components;
    std::string texts;
};

Decoded Decode(j2000test::Bytes bytes, unsigned threads, CountingCancel* cancel) {
    StreamPtr in = stream_memopen(bytes.data(), bytes.size());
    Decoded d;
    DecodeEnv env;
    env.diag = Diagnostics([&d](const std::string& t) { d.texts += t; });
    env.decodetile = jpc_dec_tiledecode;
    env.threads = threads;
    if (cancel)
        env.on_packet = [cancel](const PacketInfo&) { ++cancel->packets; };
    DecodeResult result = jpc_decode(*in, "", cancel ? &cancel->record : nullptr, env);
    d.status = result.status;
    d.tiles = result.tilesdecoded;
    for (int k = 0; result.image && k < result.image->numcmpts; ++k) {
        const image_cmpnt_t& c = *result.image->cmpts[k];
        d.components.emplace_back();
        image_readcmpt(*result.image, k, 0, 0, c.width_, c.height_, d.components.back());
    }
    return d;
}

// Every kept stream, and larger ones of each path when the reference encoder is installed
// (several jobs in every stage: 9/7 with the component transform, 64-bit lanes, many tiles).
std::vector<j2000test::Bytes> StreamsOfEveryKind() {
    std::vector<j2000test::Bytes> streams;
    for (const char* name :
         {"g1x1.j2k", "g17x13_lrcp_layers.j2k", "c64x48_rlcp_sop_eph.j2k", "c64x48_cprl_modes.j2k",
          "c64x48_roi_lossless.j2k", "c64x48_poc.j2k", "g100x70_rpcl_tiles_offsets.j2k",
          "s40x30_pcrl_subsampled.j2k", "g33x21_12bit_precincts.j2k", "g2048_pcrl_tiles.j2k",
          "c33x21_irreversible_layers.j2k", "c24x16_16bit_irreversible.j2k"})
        streams.push_back(j2000test::read_file(j2000test::fixture_path(name)));
    if (!j2000test::HaveReferenceTools())
        return streams;
    char dir[] = "/tmp/j2k-threadsXXXXXX";
    if (mkdtemp(dir) == nullptr)
        return streams;
    const std::string coded = std::string(dir) + "/o.j2k";
    const struct {
        int width, height, components, bits;
        const char* options;
    } generated[] = {{420, 330, 3, 8, "-I -n 5"},
                     {300, 200, 1, 16, "-I -n 4"},
                     {500, 260, 3, 8, "-t 128,96 -b 16,16 -r 10,1"}};
    for (const auto& g : generated)
        if (j2000test::EncodeWithReference(
                j2000test::MakePicture(g.width, g.height, g.components, g.bits), dir, g.options,
                coded))
            streams.push_back(j2000test::read_file(coded));
    std::system((std::string("rm -rf ") + dir).c_str());
    return streams;
}

TEST(ThreadedDecode, EveryThreadCountGivesTheOneThreadImage) {
    const auto streams = StreamsOfEveryKind();
    for (size_t s = 0; s < streams.size(); ++s) {
        const Decoded one = Decode(streams[s], 1, nullptr);
        ASSERT_EQ(one.status, DecodeStatus::Ok) << "stream " << s << ": " << one.texts;
        for (const unsigned threads : {3u, 8u}) {
            const Decoded many = Decode(streams[s], threads, nullptr);
            EXPECT_EQ(many.status, DecodeStatus::Ok);
            EXPECT_TRUE(many.components == one.components)
                << "stream " << s << ", " << threads << " threads";
        }
    }
}

// Stops asked at checks spread over the last tile's reconstruction (after its packets, before
// the end of the stream) land there: the decode ends as a cancel at once, without a failure's
// message, that tile unfinished. On one thread these are every check of tier 1, the synthesis
// and the sample rows; on several, the first 13 of the calling thread's.
TEST(ThreadedDecode, AStopLandsAtTheCheckItIsAskedAtOnTheDecodingThread) {
    const auto bytes = j2000test::read_file(j2000test::fixture_path("g2048_pcrl_tiles.j2k"));
    for (const unsigned threads : {1u, 4u}) {
        CountingCancel whole;
        ASSERT_EQ(Decode(bytes, threads, &whole).status, DecodeStatus::Ok);
        EXPECT_FALSE(whole.calledElsewhere);
        // Checks after the last packet, less the one before EOC.
        const auto after =
            std::count(whole.packetsAtCall.begin(), whole.packetsAtCall.end(), whole.packets) - 1;
        // A 1024 x 1024 tile of five levels: a check or more per 4096 samples of tier 1, per
        // 64K samples of each pass of the synthesis (rows and columns of 1.4M samples in all
        // levels) and per 64K samples of rows written; on several threads the calling thread's
        // share, and one at least for each of the 13 stages (tier 1, ten passes, the rows made
        // and written).
        const int fromSynthesis =
            2 * (1024 * 1024 + 512 * 512 + 256 * 256 + 128 * 128 + 64 * 64) / 65536;
        ASSERT_GE(after, threads == 1 ? 256 + fromSynthesis + 16 : 13);
        const int within = threads == 1 ? static_cast<int>(after) : 13;
        for (int part = 0; part <= 3; ++part) {
            CountingCancel stop;
            stop.startAfterPackets = whole.packets;
            stop.stopAt = 1 + (within - 1) * part / 3;
            SCOPED_TRACE(std::to_string(threads) + " threads, stop at check " +
                         std::to_string(stop.stopAt) + " of " + std::to_string(within));
            const Decoded d = Decode(bytes, threads, &stop);
            EXPECT_EQ(d.status, DecodeStatus::Cancelled);
            EXPECT_EQ(d.tiles, 3);
            EXPECT_EQ(stop.counted, stop.stopAt);  // nothing asked after the stop
            EXPECT_FALSE(stop.calledElsewhere);
            EXPECT_EQ(d.texts.find("failed"), std::string::npos) << d.texts;
        }
    }
}

// A stop asked by another thread while a single thread synthesises a 16-bit 9/7 component of
// 3000 x 3000 from one coded block lands before the synthesis could end by itself: 45 % into
// the decode (tier 1 writes the other blocks' zeros in about its first quarter, the synthesis
// takes it to about five sixths, the samples are written last). The quickest of up to five
// tries counts: a busy machine can stretch one, or the first, uncancelled decode.
TEST(ThreadedDecode, AStopDuringTheSynthesisLandsAtOnce) {
    const j2000test::Codestream cs = j2000test::synthesis_stream(3000, 1, 0);
    const j2000test::Bytes bytes = cs.serialise();
    struct Flag {
        jpc_cancel_t record{this, [](const jpc_cancel_t* c) {
                                return static_cast<const Flag*>(c->handle)->stop.load() ? 1 : 0;
                            }};
        std::atomic<bool> stop{false};
    };
    using Clock = std::chrono::steady_clock;
    const auto decode = [&bytes](Flag& flag) {
        j2000test::Bytes copy = bytes;
        StreamPtr in = stream_memopen(copy.data(), copy.size());
        DecodeEnv env;
        env.diag = Diagnostics([](const std::string&) {});
        env.decodetile = jpc_dec_tiledecode;
        env.threads = 1;
        return jpc_decode(*in, "", &flag.record, env).status;
    };
    Flag never;
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(decode(never), DecodeStatus::Ok);
    Clock::duration whole = Clock::now() - start;
    Clock::duration best = Clock::duration::max();
    for (int attempt = 0; attempt < 5 && best >= whole / 10; ++attempt) {
        Flag flag;
        Clock::time_point asked;
        const Clock::time_point began = Clock::now();
        std::thread stopper([&] {
            std::this_thread::sleep_for(whole * 9 / 20);
            asked = Clock::now();
            flag.stop = true;
        });
        const DecodeStatus status = decode(flag);
        const Clock::time_point ended = Clock::now();
        stopper.join();
        if (status == DecodeStatus::Ok && ended <= asked) {
            // Done before the stop was asked: the first decode was slowed down by a busy
            // machine. This one is the measure now.
            whole = std::min(whole, ended - began);
            continue;
        }
        EXPECT_EQ(status, DecodeStatus::Cancelled);
        best = std::min(best, ended - asked);
    }
    ASSERT_NE(best, Clock::duration::max()) << "every decode ended before its stop was asked";
    EXPECT_LT(best, whole / 10);
}

}  // namespace
}  // namespace j2000
