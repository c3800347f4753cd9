// Splitting, number appends and percent-encoding, each beside the same job
// done with the standard library (std::string, snprintf). The ratio of each
// pair's times is the measure; each TextString benchmark first checks that
// it gives the same result as its standard-library twin.
#include <benchmark/benchmark.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "text/TextString.h"
#include "text/TextStringList.h"

namespace {

// About `bytes` of text in `pieces` pieces separated by ';'.
std::string PieceText(int64_t bytes, int64_t pieces) {
    std::string text;
    text.reserve(size_t(bytes));
    int64_t each = bytes / pieces;
    for (int64_t i = 0; i < pieces; ++i) {
        std::string piece = "p" + std::to_string(i);
        piece.resize(size_t(each - 1), 'x');
        text += piece;
        text += ';';
    }
    return text;
}

// Splits at ';' with std::string, dropping empty pieces as SplitInto does.
std::vector<std::string> StdSplit(const std::string& text) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        size_t end = text.find_first_of(";", start);
        if (end == std::string::npos) break;
        if (end > start) pieces.emplace_back(text, start, end - start);
        start = end + 1;
    }
    if (start < text.size()) pieces.emplace_back(text, start);
    return pieces;
}

// 1 MiB split into 100,000 pieces, then the same shape at other sizes: the
// time per byte stays flat when splitting is linear.
void BM_SplitInto(benchmark::State& state) {
    std::string text = PieceText(state.range(0), state.range(1));
    TextString source(text.c_str());
    {
        TextStringList list;
        source.SplitInto(";", list, -1, false);
        std::vector<std::string> pieces;
        for (int32_t p = 0; p < list.Size(); ++p) pieces.push_back(list.At(p)->CStr());
        if (pieces != StdSplit(text)) state.SkipWithError("pieces differ from std::string's");
    }
    for (auto _ : state) {
        TextStringList list;
        source.SplitInto(";", list, -1, false);
        benchmark::DoNotOptimize(list.items);
    }
    state.SetBytesProcessed(state.iterations() * int64_t(text.size()));
}
BENCHMARK(BM_SplitInto)
    ->Args({1 << 20, 100000})
    ->Args({1 << 16, 6250})
    ->Args({1 << 22, 400000})
    ->Unit(benchmark::kMillisecond);

void BM_SplitStd(benchmark::State& state) {
    std::string text = PieceText(state.range(0), state.range(1));
    for (auto _ : state) {
        std::vector<std::string> pieces = StdSplit(text);
        benchmark::DoNotOptimize(pieces.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(text.size()));
}
BENCHMARK(BM_SplitStd)
    ->Args({1 << 20, 100000})
    ->Args({1 << 16, 6250})
    ->Args({1 << 22, 400000})
    ->Unit(benchmark::kMillisecond);

const int kNumbers = 1000;

// 1000 numbers, each followed by a space, built both ways.
TextString TextDoubles() {
    TextString s;
    s.SetDecimals(2);
    for (int i = 0; i < kNumbers; ++i) s.AppendDouble(i * 1.37).Append(' ');
    return s;
}

std::string StdDoubles() {
    std::string s;
    char buffer[64];
    for (int i = 0; i < kNumbers; ++i) {
        snprintf(buffer, sizeof buffer, "%.2f", i * 1.37);
        s += buffer;
        s += ' ';
    }
    return s;
}

TextString TextInts() {
    TextString s;
    for (int i = 0; i < kNumbers; ++i) s.AppendInt(i * 7919).Append(' ');
    return s;
}

std::string StdInts() {
    std::string s;
    char buffer[16];
    for (int i = 0; i < kNumbers; ++i) {
        snprintf(buffer, sizeof buffer, "%d", i * 7919);
        s += buffer;
        s += ' ';
    }
    return s;
}

void BM_AppendDouble(benchmark::State& state) {
    if (StdDoubles() != TextDoubles().CStr()) state.SkipWithError("text differs from snprintf's");
    for (auto _ : state) benchmark::DoNotOptimize(TextDoubles());
    state.SetItemsProcessed(state.iterations() * kNumbers);
}
BENCHMARK(BM_AppendDouble);

void BM_AppendDoubleSnprintf(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(StdDoubles());
    state.SetItemsProcessed(state.iterations() * kNumbers);
}
BENCHMARK(BM_AppendDoubleSnprintf);

void BM_AppendInt(benchmark::State& state) {
    if (StdInts() != TextInts().CStr()) state.SkipWithError("text differs from snprintf's");
    for (auto _ : state) benchmark::DoNotOptimize(TextInts());
    state.SetItemsProcessed(state.iterations() * kNumbers);
}
BENCHMARK(BM_AppendInt);

void BM_AppendIntSnprintf(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(StdInts());
    state.SetItemsProcessed(state.iterations() * kNumbers);
}
BENCHMARK(BM_AppendIntSnprintf);

// 64 KiB of mixed text: words, punctuation and accented letters.
std::string MixedText() {
    std::string text;
    while (text.size() < (1 << 16)) text += "Canci\xF3n 100% a&b, x=y; ";
    return text;
}

void BM_PercentEncode(benchmark::State& state) {
    std::string text = MixedText();
    for (auto _ : state) {
        TextString s(text.c_str());
        s.PercentEncode();
        benchmark::DoNotOptimize(s.CStr());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(text.size()));
}
BENCHMARK(BM_PercentEncode);

void BM_PercentEncodeStd(benchmark::State& state) {
    std::string text = MixedText();
    for (auto _ : state) {
        std::string out;
        char buffer[4];
        for (unsigned char b : text) {
            if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                b == ' ') {
                out += char(b);
            } else {
                snprintf(buffer, sizeof buffer, "%%%02X", b);
                out += buffer;
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(text.size()));
}
BENCHMARK(BM_PercentEncodeStd);

}  // namespace
