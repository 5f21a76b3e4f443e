#include "band/BandStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "dsp/AvxClones.h"

namespace band {
namespace {

// Frames per phase chunk: the mix's phasors are those of the chunk's first
// frame (exact) times a table of the chunk's own turns.
constexpr int64_t kChunkFrames = 1024;
// Frames decoded and mixed at a time.
constexpr int64_t kPieceFrames = 1024;

// Four complex values (I, Q pairs), or eight floats. Every lane computes the
// same operations in the same order as the scalar code for one value, so a
// value's bits do not depend on the lane it falls in. The library is built
// without multiply-add fusion for that reason.
#pragma GCC diagnostic ignored "-Wpsabi"
using V8 = float __attribute__((vector_size(32)));

__attribute__((always_inline)) inline V8 Load(const float* p)
{
    V8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

__attribute__((always_inline)) inline void Store(float* p, V8 v)
{
    std::memcpy(p, &v, sizeof v);
}

// Floor division for the indices, which can be negative before a recording's start.
int64_t FloorDiv(int64_t a, int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
int64_t CeilDiv(int64_t a, int64_t b)
{
    return -FloorDiv(-a, b);
}

} // namespace

// I/Q values appended at the end and dropped at the front, without clearing
// or moving memory on every call.
class CIqBuffer {
public:
    // Room for n more values at the end; they count once written.
    float* Extend(int64_t n)
    {
        const int64_t need = m_nEnd + 2 * n;
        if (need > static_cast<int64_t>(m_v.size())) {
            if (m_nEnd > m_nBegin)
                std::memmove(m_v.data(), m_v.data() + m_nBegin, static_cast<size_t>(m_nEnd - m_nBegin) * sizeof(float));
            m_nEnd -= m_nBegin;
            m_nBegin = 0;
            if (m_nEnd + 2 * n > static_cast<int64_t>(m_v.size()))
                m_v.resize(static_cast<size_t>(2 * (m_nEnd + 2 * n)));
        }
        float* p = m_v.data() + m_nEnd;
        m_nEnd += 2 * n;
        return p;
    }
    void Append(const float* pIq, int64_t n)
    {
        if (n > 0)
            std::memcpy(Extend(n), pIq, static_cast<size_t>(2 * n) * sizeof(float));
    }
    void AppendZeros(int64_t n) { std::fill_n(Extend(n), 2 * n, 0.0f); }
    void Drop(int64_t n) { m_nBegin += 2 * n; }
    void Clear() { m_nBegin = m_nEnd = 0; }
    const float* Data() const { return m_v.data() + m_nBegin; }
    int64_t Size() const { return (m_nEnd - m_nBegin) / 2; }

private:
    std::vector<float> m_v;
    int64_t m_nBegin = 0, m_nEnd = 0; // floats
};

// One decimating stage. Inputs are numbered at the stage's input rate, output
// j standing at input j x factor.
class CBandStage {
public:
    virtual ~CBandStage() = default;
    // The first input to come is number nFirst; earlier ones count as 0.
    virtual void Start(int64_t nFirst) = 0;
    virtual void Append(const float* pIq, int64_t n) = 0;
    // Computes every output its inputs allow and appends it to out.
    virtual void Produce(CIqBuffer& out) = 0;
    int64_t NextOutput() const { return m_nNextOut; }

protected:
    int64_t m_nNextOut = 0;
};

namespace {

// A half-band stage: y[j] = x[2j] / 2 + sum_i c_i (x[2j - 2i - 1] + x[2j + 2i + 1]),
// its input kept as even and odd samples so that four outputs load four
// neighbouring values of each.
class CHalfBandStage final : public CBandStage {
public:
    explicit CHalfBandStage(const BandStage& s)
    {
        const int half = s.Half();
        for (int t = 1; t <= half; t += 2)
            m_coef.push_back(s.taps[static_cast<size_t>(half + t)]);
        m_nPairs = static_cast<int64_t>(m_coef.size());
    }

    void Start(int64_t nFirst) override
    {
        m_nNextOut = CeilDiv(nFirst, 2);
        m_nNextIn = nFirst;
        m_even.Clear();
        m_odd.Clear();
        m_nEvenBase = m_nNextOut;
        m_nOddBase = m_nNextOut - m_nPairs;
        // Odd inputs before the first one, down to the first output's reach, are silence.
        m_odd.AppendZeros(CeilDiv(nFirst - 1, 2) - m_nOddBase);
    }

    void Append(const float* pIq, int64_t n) override
    {
        if (n > 0 && (m_nNextIn & 1)) {
            m_odd.Append(pIq, 1);
            ++pIq;
            ++pIq;
            --n;
            ++m_nNextIn;
        }
        const int64_t pairs = n / 2;
        Split(pIq, pairs, m_even.Extend(pairs), m_odd.Extend(pairs));
        if (n & 1)
            m_even.Append(pIq + 4 * pairs, 1);
        m_nNextIn += n;
    }

    void Produce(CIqBuffer& out) override
    {
        const int64_t evenEnd = m_nEvenBase + m_even.Size();
        const int64_t oddEnd = m_nOddBase + m_odd.Size();
        const int64_t end = std::min(evenEnd, oddEnd - m_nPairs + 1);
        if (end <= m_nNextOut)
            return;
        Kernel(m_even.Data() + 2 * (m_nNextOut - m_nEvenBase), m_odd.Data() + 2 * (m_nNextOut - m_nPairs - m_nOddBase),
               m_coef.data(), m_nPairs, end - m_nNextOut, out.Extend(end - m_nNextOut));
        m_nNextOut = end;
        // Keep what the next outputs reach back to.
        m_even.Drop(m_nNextOut - m_nEvenBase);
        m_nEvenBase = m_nNextOut;
        m_odd.Drop(m_nNextOut - m_nPairs - m_nOddBase);
        m_nOddBase = m_nNextOut - m_nPairs;
    }

private:
    // pEven at the first output's even sample, pOdd at the first odd sample
    // it reaches (pairs before its centre).
    AVX2_CLONES static void Kernel(const float* pEven, const float* pOdd, const float* pCoef, int64_t nPairs, int64_t n,
                                   float* pOut)
    {
        int64_t j = 0;
        for (; j + 4 <= n; j += 4) {
            V8 acc = Load(pEven + 2 * j) * 0.5f;
            const float* centre = pOdd + 2 * (j + nPairs); // odd sample just after the output
            for (int64_t i = 0; i < nPairs; ++i)
                acc = acc + pCoef[i] * (Load(centre - 2 * (i + 1)) + Load(centre + 2 * i));
            Store(pOut + 2 * j, acc);
        }
        for (; j < n; ++j) {
            const float* centre = pOdd + 2 * (j + nPairs);
            for (int c = 0; c < 2; ++c) {
                float acc = pEven[2 * j + c] * 0.5f;
                for (int64_t i = 0; i < nPairs; ++i)
                    acc = acc + pCoef[i] * (centre[c - 2 * (i + 1)] + centre[c + 2 * i]);
                pOut[2 * j + c] = acc;
            }
        }
    }

    // Pairs of values (starting at an even one) into the even and the odd ones.
    AVX2_CLONES static void Split(const float* pIq, int64_t nPairs, float* pEven, float* pOdd)
    {
        int64_t p = 0;
        for (; p + 4 <= nPairs; p += 4) {
            const V8 a = Load(pIq + 4 * p), b = Load(pIq + 4 * p + 8);
            Store(pEven + 2 * p, __builtin_shufflevector(a, b, 0, 1, 4, 5, 8, 9, 12, 13));
            Store(pOdd + 2 * p, __builtin_shufflevector(a, b, 2, 3, 6, 7, 10, 11, 14, 15));
        }
        for (; p < nPairs; ++p) {
            pEven[2 * p] = pIq[4 * p];
            pEven[2 * p + 1] = pIq[4 * p + 1];
            pOdd[2 * p] = pIq[4 * p + 2];
            pOdd[2 * p + 1] = pIq[4 * p + 3];
        }
    }

    std::vector<float> m_coef; // c_0 .. c_(K-1): the taps at +1, +3, ...
    int64_t m_nPairs = 0;
    CIqBuffer m_even, m_odd;
    int64_t m_nEvenBase = 0, m_nOddBase = 0; // sample numbers (in each half) of element 0
    int64_t m_nNextIn = 0;
};

// Any other stage: y[j] = sum_t h[t] x[j M + t - H], a dot product over the
// window, in a fixed order for every output.
class CFirStage final : public CBandStage {
public:
    explicit CFirStage(const BandStage& s) : m_nFactor(s.nFactor), m_nHalf(s.Half())
    {
        m_taps.reserve(2 * s.taps.size());
        for (float t : s.taps) {
            m_taps.push_back(t);
            m_taps.push_back(t);
        }
        m_nTaps = static_cast<int64_t>(s.taps.size());
    }

    void Start(int64_t nFirst) override
    {
        m_nNextOut = CeilDiv(nFirst, m_nFactor);
        m_nBase = m_nNextOut * m_nFactor - m_nHalf;
        m_nNextIn = nFirst;
        m_x.Clear();
        m_x.AppendZeros(std::max<int64_t>(0, nFirst - m_nBase));
    }

    void Append(const float* pIq, int64_t n) override
    {
        // Inputs before the first output's reach are not needed.
        const int64_t skip = std::clamp<int64_t>(m_nBase - m_nNextIn, 0, n);
        m_x.Append(pIq + 2 * skip, n - skip);
        m_nNextIn += n;
    }

    void Produce(CIqBuffer& out) override
    {
        const int64_t inEnd = m_nBase + m_x.Size();
        const int64_t end = FloorDiv(inEnd - 1 - m_nHalf, m_nFactor) + 1;
        if (end <= m_nNextOut)
            return;
        const float* first = m_x.Data() + 2 * (m_nNextOut * m_nFactor - m_nHalf - m_nBase);
        Kernel(first, m_taps.data(), m_nTaps, m_nFactor, end - m_nNextOut, out.Extend(end - m_nNextOut));
        m_nNextOut = end;
        const int64_t keep = m_nNextOut * m_nFactor - m_nHalf;
        m_x.Drop(keep - m_nBase);
        m_nBase = keep;
    }

private:
    // pFirst at the first output's window; outputs nFactor inputs apart.
    AVX2_CLONES static void Kernel(const float* pFirst, const float* pTaps, int64_t nTaps, int64_t nFactor, int64_t n,
                                   float* pOut)
    {
        const int64_t groups = nTaps / 8; // eight taps: two vectors of four complex values
        for (int64_t j = 0; j < n; ++j) {
            const float* w = pFirst + 2 * j * nFactor;
            V8 a0 = {}, a1 = {};
            for (int64_t g = 0; g < groups; ++g) {
                a0 = a0 + Load(w + 16 * g) * Load(pTaps + 16 * g);
                a1 = a1 + Load(w + 16 * g + 8) * Load(pTaps + 16 * g + 8);
            }
            const V8 a = a0 + a1;
            float re = (a[0] + a[2]) + (a[4] + a[6]);
            float im = (a[1] + a[3]) + (a[5] + a[7]);
            for (int64_t t = 8 * groups; t < nTaps; ++t) {
                re = re + w[2 * t] * pTaps[2 * t];
                im = im + w[2 * t + 1] * pTaps[2 * t];
            }
            pOut[2 * j] = re;
            pOut[2 * j + 1] = im;
        }
    }

    int64_t m_nFactor, m_nHalf, m_nTaps = 0;
    std::vector<float> m_taps; // each tap twice, for I and Q
    CIqBuffer m_x;             // inputs from number m_nBase on
    int64_t m_nBase = 0, m_nNextIn = 0;
};

// Decoded samples (the block representation) to mixed I/Q: x times the
// chunk's phasors, scaled to full scale 1.0 (and the plan's gain).
AVX2_CLONES void MixComplex(const int32_t* pIn, const float* pPhasor, float scale, int64_t n, float* pOut)
{
    for (int64_t i = 0; i < 2 * n; i += 2) {
        const float xr = static_cast<float>(pIn[i]) * scale, xi = static_cast<float>(pIn[i + 1]) * scale;
        const float pr = pPhasor[i], pi = pPhasor[i + 1];
        pOut[i] = xr * pr - xi * pi;
        pOut[i + 1] = xr * pi + xi * pr;
    }
}

AVX2_CLONES void MixReal(const int32_t* pIn, const float* pPhasor, float scale, int64_t n, float* pOut)
{
    for (int64_t i = 0; i < n; ++i) {
        const float x = static_cast<float>(pIn[i]) * scale;
        pOut[2 * i] = x * pPhasor[2 * i];
        pOut[2 * i + 1] = x * pPhasor[2 * i + 1];
    }
}

// The chunk's phasors: its first frame's (cr, ci) times the turns of the frames in it.
AVX2_CLONES void ChunkPhasors(const float* pTurn, float cr, float ci, int64_t n, float* pOut)
{
    for (int64_t i = 0; i < 2 * n; i += 2) {
        pOut[i] = cr * pTurn[i] - ci * pTurn[i + 1];
        pOut[i + 1] = cr * pTurn[i + 1] + ci * pTurn[i];
    }
}

} // namespace

CBandStream::CBandStream(const BandPlan& plan, samples::Codec codec) : m_plan(plan), m_codec(codec)
{
    const uint64_t rate = plan.source.nRate;
    m_nBytesPerFrame = samples::BytesPerSample(codec) * plan.source.nChannels;
    // Mixing down by f: the phase of frame n is -f n / rate turns.
    const int64_t f = plan.nMixHz % static_cast<int64_t>(rate);
    m_nPhaseStep = static_cast<uint64_t>((static_cast<int64_t>(rate) - f) % static_cast<int64_t>(rate));
    m_turn.resize(2 * kChunkFrames);
    for (int64_t i = 0; i < kChunkFrames; ++i) {
        const uint64_t q = static_cast<uint64_t>(i) * m_nPhaseStep % rate;
        const double a = 2.0 * std::numbers::pi * static_cast<double>(q) / static_cast<double>(rate);
        m_turn[static_cast<size_t>(2 * i)] = static_cast<float>(std::cos(a));
        m_turn[static_cast<size_t>(2 * i + 1)] = static_cast<float>(std::sin(a));
    }
    m_phasor.resize(2 * kChunkFrames);
    m_decoded.resize(static_cast<size_t>(kPieceFrames * plan.source.nChannels));
    m_mixed.resize(2 * kPieceFrames);
    m_between = std::make_unique<CIqBuffer>();
    m_out = std::make_unique<CIqBuffer>();
    for (const BandStage& s : plan.stages) {
        if (s.bHalfBand)
            m_stages.push_back(std::make_unique<CHalfBandStage>(s));
        else
            m_stages.push_back(std::make_unique<CFirStage>(s));
    }
}

CBandStream::~CBandStream() = default;

int64_t CBandStream::Available() const
{
    return m_out->Size();
}

void CBandStream::Start(int64_t nOriginFrame, int64_t nFirstFrame)
{
    m_nOrigin = nOriginFrame;
    m_nNextFrame = nFirstFrame;
    int64_t first = nFirstFrame - nOriginFrame;
    for (auto& s : m_stages) {
        s->Start(first);
        first = s->NextOutput();
    }
    m_nNextOutput = first;
    m_out->Clear();
}

void CBandStream::SetChunk(int64_t nChunk)
{
    if (nChunk == m_nChunk)
        return;
    // The chunk's first frame's phase, exactly: (n mod rate) x step mod rate.
    const int64_t rate = m_plan.source.nRate;
    const int64_t n = nChunk * kChunkFrames;
    const uint64_t nMod = static_cast<uint64_t>(((n % rate) + rate) % rate);
    const uint64_t q = nMod * m_nPhaseStep % static_cast<uint64_t>(rate);
    const double a = 2.0 * std::numbers::pi * static_cast<double>(q) / static_cast<double>(rate);
    ChunkPhasors(m_turn.data(), static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), kChunkFrames,
                 m_phasor.data());
    m_nChunk = nChunk;
}

void CBandStream::Push(const uint8_t* pBytes, int64_t nFrames)
{
    while (nFrames > 0) {
        const int64_t chunk = FloorDiv(m_nNextFrame, kChunkFrames);
        const int64_t inChunk = (chunk + 1) * kChunkFrames - m_nNextFrame;
        const int64_t n = std::min({nFrames, inChunk, kPieceFrames});
        Feed(pBytes, n);
        pBytes += n * m_nBytesPerFrame;
        nFrames -= n;
    }
}

void CBandStream::PushSilence(int64_t nFrames)
{
    // Silence stays silence through the mix; the stages get zeros.
    std::fill(m_mixed.begin(), m_mixed.end(), 0.0f);
    while (nFrames > 0) {
        const int64_t n = std::min(nFrames, kPieceFrames);
        m_nNextFrame += n;
        RunStages(m_mixed.data(), n);
        nFrames -= n;
    }
}

void CBandStream::Feed(const uint8_t* pBytes, int64_t nFrames)
{
    SetChunk(FloorDiv(m_nNextFrame, kChunkFrames));
    const float* phasor = m_phasor.data() + 2 * (m_nNextFrame - m_nChunk * kChunkFrames);
    const int channels = m_plan.source.nChannels;
    samples::Decode(m_codec, pBytes, m_decoded.data(), static_cast<size_t>(nFrames * channels));
    const float scale = m_plan.fGain / 2147483648.0f;
    if (channels == 2)
        MixComplex(m_decoded.data(), phasor, scale, nFrames, m_mixed.data());
    else
        MixReal(m_decoded.data(), phasor, scale, nFrames, m_mixed.data());
    m_nNextFrame += nFrames;
    RunStages(m_mixed.data(), nFrames);
}

void CBandStream::RunStages(const float* pIq, int64_t nFrames)
{
    if (m_stages.empty()) {
        m_out->Append(pIq, nFrames);
        return;
    }
    m_stages.front()->Append(pIq, nFrames);
    for (size_t i = 0; i < m_stages.size(); ++i) {
        const bool last = i + 1 == m_stages.size();
        CIqBuffer& into = last ? *m_out : *m_between;
        if (!last)
            m_between->Clear();
        m_stages[i]->Produce(into);
        if (!last)
            m_stages[i + 1]->Append(m_between->Data(), m_between->Size());
    }
}

int64_t CBandStream::Pull(float* pIq, int64_t nMax)
{
    const int64_t n = std::min(nMax, Available());
    if (n <= 0)
        return 0;
    if (pIq)
        std::memcpy(pIq, m_out->Data(), static_cast<size_t>(n) * 2 * sizeof(float));
    m_out->Drop(n);
    m_nNextOutput += n;
    return n;
}

} // namespace band
