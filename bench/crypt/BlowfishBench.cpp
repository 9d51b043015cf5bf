// BVBlowfish against OpenSSL's Blowfish: ECB over 1 MiB and the key schedule.
// The *Ratio benchmarks run both in every iteration and report
// ratio = OpenSSL's CPU time / ours (above 1 means ours is faster); each checks
// after timing that both produced the same bytes.
#include "crypt/BVBlowfish.h"

#include <openssl/blowfish.h>

#include "BenchClock.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

constexpr int kBufferBytes = 1 << 20;
// Bytes below 0x80, where both key schedules agree.
constexpr char kKey[] = "Brivel benchmark key 0123456789";
constexpr int kKeyBytes = sizeof kKey - 1;
constexpr double kMiB = 1024.0 * 1024.0;

std::vector<std::uint8_t> TestData() {
    std::vector<std::uint8_t> data(kBufferBytes);
    for (int i = 0; i < kBufferBytes; ++i)
        data[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
    return data;
}

BF_KEY OpenSSLKey() {
    BF_KEY key;
    BF_set_key(&key, kKeyBytes, reinterpret_cast<const unsigned char*>(kKey));
    return key;
}

void OpenSSLEcb(std::vector<std::uint8_t>& data, const BF_KEY& key) {
    for (int i = 0; i < kBufferBytes; i += 8)
        BF_ecb_encrypt(&data[i], &data[i], &key, BF_ENCRYPT);
}

void BM_EcbBVBlowfish(benchmark::State& state) {
    BVBlowfish fish(true, true);
    fish.SetKey(kKey);
    std::vector<std::uint8_t> data = TestData();
    for (auto _ : state) {
        fish.Encrypt(data.data(), 0, kBufferBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kBufferBytes);
}

void BM_EcbOpenSSL(benchmark::State& state) {
    const BF_KEY key = OpenSSLKey();
    std::vector<std::uint8_t> data = TestData();
    for (auto _ : state) {
        OpenSSLEcb(data, key);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kBufferBytes);
}

void BM_EcbRatio(benchmark::State& state) {
    BVBlowfish fish(true, true);
    fish.SetKey(kKey);
    const BF_KEY key = OpenSSLKey();
    std::vector<std::uint8_t> ours = TestData(), theirs = ours;
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        oursSeconds += Seconds([&] { fish.Encrypt(ours.data(), 0, kBufferBytes); });
        theirsSeconds += Seconds([&] { OpenSSLEcb(theirs, key); });
        benchmark::ClobberMemory();
    }
    if (ours != theirs)
        state.SkipWithError("cipher text differs from OpenSSL's");
    const double mebibytes = static_cast<double>(state.iterations()) * kBufferBytes / kMiB;
    state.counters["bv_MiB/s"] = mebibytes / oursSeconds;
    state.counters["openssl_MiB/s"] = mebibytes / theirsSeconds;
    state.counters["ratio"] = theirsSeconds / oursSeconds;
}

void BM_SetKeyBVBlowfish(benchmark::State& state) {
    BVBlowfish fish(true, true);
    for (auto _ : state) {
        fish.SetKey(kKey);
        benchmark::ClobberMemory();
    }
}

void BM_SetKeyOpenSSL(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(OpenSSLKey());
}

void BM_SetKeyRatio(benchmark::State& state) {
    BVBlowfish fish(true, true);
    BF_KEY key;
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        oursSeconds += Seconds([&] { fish.SetKey(kKey); });
        theirsSeconds += Seconds([&] { key = OpenSSLKey(); });
        benchmark::ClobberMemory();
    }
    bool same = std::memcmp(fish.PArray(), key.P, sizeof key.P) == 0;
    for (int box = 0; box < BVBlowfish::kSBoxes; ++box)
        same = same && std::memcmp(fish.SBox(box), &key.S[box * BVBlowfish::kSBoxWords],
                                   BVBlowfish::kSBoxWords * sizeof(std::uint32_t)) == 0;
    if (!same)
        state.SkipWithError("key schedule differs from OpenSSL's");
    const double calls = static_cast<double>(state.iterations());
    state.counters["bv_us/key"] = oursSeconds / calls * 1e6;
    state.counters["openssl_us/key"] = theirsSeconds / calls * 1e6;
    state.counters["ratio"] = theirsSeconds / oursSeconds;
}

} // namespace

BENCHMARK(BM_EcbBVBlowfish)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EcbOpenSSL)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EcbRatio)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetKeyBVBlowfish)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetKeyOpenSSL)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetKeyRatio)->Unit(benchmark::kMicrosecond);
