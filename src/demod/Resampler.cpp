#include "demod/Resampler.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "demod/FirDesign.h"
#include "demod/FirKernels.h"

namespace {

// Half-band stages halve the rate while it is at least this many times the
// stopband edge: the last one then has a transition of at least a
// eighteenth of its rate, and the polyphase stage after it works at a rate
// no more than 4.5 times the edge, where its own sharp transition is cheap.
constexpr double kHalvingFactor = 4.5;
// Phases of the table a polyphase stage interpolates in when the exact
// phases would make too large a table (floats).
constexpr int kInterpolatedPhases = 256;
constexpr int64_t kMaxExactTableFloats = int64_t(1) << 16;
// Largest numerator and denominator of the rate ratio's fraction.
constexpr int64_t kMaxRatioTerm = 1000000000;

// The closest fraction num/den to x > 0 with both at most limit.
void ToFraction(double x, int64_t limit, int64_t& num, int64_t& den)
{
    int64_t p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    double r = x;
    for (int i = 0; i < 64; ++i) {
        const double a = std::floor(r);
        if (a > static_cast<double>(limit))
            break;
        const auto ai = static_cast<int64_t>(a);
        const int64_t p2 = ai * p1 + p0, q2 = ai * q1 + q0;
        if (p2 > limit || q2 > limit)
            break;
        p0 = p1, q0 = q1, p1 = p2, q1 = q2;
        if (std::fabs(static_cast<double>(p1) / q1 - x) <= x * 1e-15 || r - a < 1e-12)
            break;
        r = 1.0 / (r - a);
    }
    num = std::max<int64_t>(p1, 1);
    den = std::max<int64_t>(q1, 1);
}

} // namespace

// A queue of samples of one plane: appended at the back without being
// cleared first, taken from the front; the storage is reused.
class CSampleQueue {
public:
    const float* Data() const { return m_data.get() + m_nBegin; }
    float* Data() { return m_data.get() + m_nBegin; }
    size_t Size() const { return m_nEnd - m_nBegin; }
    // Room for n more samples at the back, returned uninitialised.
    float* Extend(size_t n)
    {
        if (m_nEnd + n > m_nCapacity) {
            const size_t size = Size();
            if (size + n > m_nCapacity / 2) {
                const size_t capacity = std::max<size_t>(2 * (size + n), 4096);
                auto grown = std::make_unique_for_overwrite<float[]>(capacity);
                std::copy_n(Data(), size, grown.get());
                m_data = std::move(grown);
                m_nCapacity = capacity;
            } else {
                std::copy_n(Data(), size, m_data.get());
            }
            m_nBegin = 0;
            m_nEnd = size;
        }
        float* at = m_data.get() + m_nEnd;
        m_nEnd += n;
        return at;
    }
    void Append(const float* x, size_t n) { std::copy_n(x, n, Extend(n)); }
    void AppendZeros(size_t n) { std::fill_n(Extend(n), n, 0.0f); }
    void Drop(size_t n) { m_nBegin = std::min(m_nEnd, m_nBegin + n); }
    void Clear() { m_nBegin = m_nEnd = 0; }

private:
    std::unique_ptr<float[]> m_data;
    size_t m_nCapacity = 0, m_nBegin = 0, m_nEnd = 0;
};

// One step of the chain: consumes samples of every plane, appends outputs.
class CResampleStage {
public:
    virtual ~CResampleStage() = default;
    virtual void Push(const float* const* in, int n, CSampleQueue* out) = 0;
    virtual void Flush(CSampleQueue* out) = 0;
    virtual void Reset() = 0;
    virtual std::string Describe() const = 0;
};

namespace {

// Decimates by two with a half-band low-pass. Output j stands at input 2j;
// the inputs are kept split into even and odd ones so that every tap runs
// over contiguous memory.
class CHalfBandStage final : public CResampleStage {
public:
    CHalfBandStage(double passEdge, double attenuationDb, int nPlanes)
        : m_side(fir::HalfBandSideTaps(passEdge, attenuationDb)), m_even(nPlanes), m_odd(nPlanes)
    {
        Reset();
    }

    void Reset() override
    {
        const int nSide = static_cast<int>(m_side.size());
        for (auto& e : m_even)
            e.Clear();
        for (auto& o : m_odd) {
            o.Clear();
            o.AppendZeros(nSide); // the odd inputs before the stream
        }
        m_nIn = 0;
        m_nOut = 0;
        m_nLimit = INT64_MAX;
    }

    void Push(const float* const* in, int n, CSampleQueue* out) override
    {
        for (size_t p = 0; p < m_even.size(); ++p)
            Split(in[p], n, m_even[p], m_odd[p]);
        m_nIn += n;
        Produce(out);
    }

    void Flush(CSampleQueue* out) override
    {
        m_nLimit = (m_nIn + 1) / 2;
        for (size_t p = 0; p < m_even.size(); ++p) {
            m_even[p].AppendZeros(m_side.size() + 1);
            m_odd[p].AppendZeros(m_side.size() + 1);
        }
        Produce(out);
    }

    std::string Describe() const override { return std::to_string(4 * m_side.size() - 1); }

private:
    // Deals the inputs out to the even and odd queues, by absolute index.
    void Split(const float* in, int n, CSampleQueue& even, CSampleQueue& odd) const
    {
        if (n > 0 && (m_nIn & 1)) { // the stream stands at an odd input
            *odd.Extend(1) = *in++;
            --n;
        }
        const int nPairs = n / 2;
        firk::Deinterleave(in, nPairs, even.Extend(nPairs), odd.Extend(nPairs));
        if (n & 1)
            *even.Extend(1) = in[n - 1];
    }

    // The queues start at the next output: even[0] is its centre input and
    // odd[nSide] the odd input just after it.
    void Produce(CSampleQueue* out)
    {
        const int nSide = static_cast<int>(m_side.size());
        const auto evenReady = static_cast<int64_t>(m_even[0].Size());
        const auto oddReady = static_cast<int64_t>(m_odd[0].Size()) - 2 * nSide + 1;
        const int64_t ready = std::min({evenReady, oddReady, m_nLimit - m_nOut});
        if (ready <= 0)
            return;
        for (size_t p = 0; p < m_even.size(); ++p) {
            firk::HalfBand(m_even[p].Data(), m_odd[p].Data() + nSide, m_side.data(), nSide, static_cast<int>(ready),
                           out[p].Extend(ready));
            m_even[p].Drop(ready);
            m_odd[p].Drop(ready);
        }
        m_nOut += ready;
    }

    std::vector<float> m_side;
    std::vector<CSampleQueue> m_even, m_odd;
    int64_t m_nIn = 0, m_nOut = 0;
    int64_t m_nLimit = INT64_MAX; // outputs before this one exist (set by Flush)
};

// Changes the rate by L/M with a windowed-sinc kernel. Output k stands at
// input time k M / L = base + phase / L; it takes the inputs base - W + 1
// onward, W being the kernel's half-width in inputs.
class CPolyphaseStage final : public CResampleStage {
public:
    CPolyphaseStage(double dRateHz, int64_t L, int64_t M, double dPassHz, double dStopHz, double attenuationDb,
                    int nPlanes)
        : m_L(L), m_stepWhole(M / L), m_stepPart(M % L), m_buf(nPlanes)
    {
        const double transition = (dStopHz - dPassHz) / dRateHz;
        m_nHalf = (fir::KaiserLength(attenuationDb, transition) + 1) / 2;
        m_nTaps = (2 * m_nHalf + firk::kTapQuantum - 1) / firk::kTapQuantum * firk::kTapQuantum;
        m_bExact = L * m_nTaps <= kMaxExactTableFloats;
        m_nPhases = m_bExact ? static_cast<int>(L) : kInterpolatedPhases;
        MakeTable(fir::CLowPassKernel(0.5 * (dPassHz + dStopHz) / dRateHz, m_nHalf, fir::KaiserBeta(attenuationDb)));
        Reset();
    }

    void Reset() override
    {
        for (auto& b : m_buf) {
            b.Clear();
            b.AppendZeros(m_nHalf - 1); // the inputs before the stream
        }
        m_nBufBase = -(m_nHalf - 1);
        m_nBase = 0;
        m_nPhase = 0;
        m_nIn = 0;
        m_nLimit = INT64_MAX;
    }

    void Push(const float* const* in, int n, CSampleQueue* out) override
    {
        for (size_t p = 0; p < m_buf.size(); ++p)
            m_buf[p].Append(in[p], n);
        m_nIn += n;
        Produce(out);
    }

    void Flush(CSampleQueue* out) override
    {
        m_nLimit = m_nIn;
        for (auto& b : m_buf)
            b.AppendZeros(m_nTaps);
        Produce(out);
    }

    std::string Describe() const override
    {
        return std::to_string(m_nPhases) + (m_bExact ? " phases x " : " interpolated phases x ") +
               std::to_string(2 * m_nHalf) + " taps";
    }

private:
    // Row r of the table: the kernel at the offsets W - 1 - j + r / phases,
    // each row scaled to unity gain at 0 Hz.
    void MakeTable(const fir::CLowPassKernel& kernel)
    {
        const int nRows = m_bExact ? m_nPhases : m_nPhases + 1;
        m_rows.assign(static_cast<size_t>(nRows) * m_nTaps, 0.0f);
        std::vector<double> row(m_nTaps);
        for (int r = 0; r < nRows; ++r) {
            const double f = static_cast<double>(r) / m_nPhases;
            double sum = 0.0;
            for (int j = 0; j < m_nTaps; ++j)
                sum += row[j] = kernel(m_nHalf - 1 - j + f);
            for (int j = 0; j < m_nTaps; ++j)
                m_rows[static_cast<size_t>(r) * m_nTaps + j] = static_cast<float>(row[j] / sum);
        }
        if (m_bExact)
            return;
        m_diffs.resize(static_cast<size_t>(m_nPhases) * m_nTaps);
        for (size_t i = 0; i < m_diffs.size(); ++i)
            m_diffs[i] = m_rows[i + m_nTaps] - m_rows[i];
    }

    float Output(const float* x) const
    {
        if (m_bExact)
            return firk::DotProduct(x, &m_rows[static_cast<size_t>(m_nPhase) * m_nTaps], m_nTaps);
        const double pos = static_cast<double>(m_nPhase) * m_nPhases / static_cast<double>(m_L);
        const int ip = std::min(static_cast<int>(pos), m_nPhases - 1);
        const size_t at = static_cast<size_t>(ip) * m_nTaps;
        return firk::DotProductBetween(x, &m_rows[at], &m_diffs[at], static_cast<float>(pos - ip), m_nTaps);
    }

    void Produce(CSampleQueue* out)
    {
        const int64_t bufEnd = m_nBufBase + static_cast<int64_t>(m_buf[0].Size());
        while (m_nBase < m_nLimit && m_nBase - m_nHalf + 1 + m_nTaps <= bufEnd) {
            const int64_t at = m_nBase - m_nHalf + 1 - m_nBufBase;
            for (size_t p = 0; p < m_buf.size(); ++p)
                *out[p].Extend(1) = Output(m_buf[p].Data() + at);
            m_nBase += m_stepWhole;
            m_nPhase += m_stepPart;
            if (m_nPhase >= m_L) {
                m_nPhase -= m_L;
                ++m_nBase;
            }
        }
        const int64_t keepFrom = std::min(m_nBase - m_nHalf + 1, bufEnd);
        if (keepFrom > m_nBufBase) {
            for (auto& b : m_buf)
                b.Drop(keepFrom - m_nBufBase);
            m_nBufBase = keepFrom;
        }
    }

    int64_t m_L;
    int64_t m_stepWhole, m_stepPart; // M = stepWhole * L + stepPart
    int m_nHalf = 0;                 // W
    int m_nTaps = 0;                 // 2W rounded up to the dot product's quantum
    bool m_bExact = true;
    int m_nPhases = 1;
    std::vector<float> m_rows, m_diffs;
    std::vector<CSampleQueue> m_buf;
    int64_t m_nBufBase = 0; // absolute index of the queues' first input
    int64_t m_nBase = 0, m_nPhase = 0;
    int64_t m_nIn = 0;
    int64_t m_nLimit = INT64_MAX; // outputs at bases before this one exist (set by Flush)
};

} // namespace

CResampler::CResampler(double dInRateHz, double dOutRateHz, ResamplerBand band, int nPlanes)
    : m_dInRateHz(dInRateHz), m_dOutRateHz(dOutRateHz), m_nPlanes(nPlanes)
{
    Build(band);
}

CResampler::~CResampler() = default;

void CResampler::Build(const ResamplerBand& band)
{
    ToFraction(m_dOutRateHz / m_dInRateHz, kMaxRatioTerm, m_nRatioNum, m_nRatioDen);
    const bool bBandGiven = band.dPassHz > 0.0 || band.dStopHz > 0.0;
    if (m_nRatioNum == m_nRatioDen && !bBandGiven)
        return; // the samples pass as they are
    const double nyquist = 0.5 * std::min(m_dInRateHz, m_dOutRateHz);
    const double stop = band.dStopHz > 0.0 ? band.dStopHz : nyquist;
    const double pass = band.dPassHz > 0.0 ? std::min(band.dPassHz, stop) : std::min(0.9 * nyquist, stop);
    double rate = m_dInRateHz;
    int nHalvings = 0;
    while (rate >= kHalvingFactor * stop && nHalvings < 40) {
        m_stages.push_back(std::make_unique<CHalfBandStage>(stop / rate, band.dAttenuationDb, m_nPlanes));
        rate /= 2.0;
        ++nHalvings;
    }
    int64_t L = m_nRatioNum << nHalvings, M = m_nRatioDen;
    const int64_t g = std::gcd(L, M);
    L /= g;
    M /= g;
    // A stop edge at the rate's Nyquist frequency or beyond leaves no room
    // for a transition band: it then ends just below.
    const double stopUsed = std::min(stop, 0.5 * rate * 0.999);
    const double passUsed = std::min(pass, stopUsed * 0.999);
    m_stages.push_back(
        std::make_unique<CPolyphaseStage>(rate, L, M, passUsed, stopUsed, band.dAttenuationDb, m_nPlanes));
    m_between.resize(m_stages.size() * m_nPlanes);
}

// Runs the stages, the first of them fed with in;
// the last one's outputs are appended to out. With bFlush every stage ends
// its stream after its input.
void CResampler::Run(const float* const* in, int n, bool bFlush, std::vector<float>* out)
{
    std::vector<const float*> planes(in, in + m_nPlanes);
    for (size_t s = 0; s < m_stages.size(); ++s) {
        CSampleQueue* dest = &m_between[s * m_nPlanes];
        if (n > 0)
            m_stages[s]->Push(planes.data(), n, dest);
        if (bFlush)
            m_stages[s]->Flush(dest);
        n = static_cast<int>(dest[0].Size());
        for (int p = 0; p < m_nPlanes; ++p)
            planes[p] = dest[p].Data();
    }
    for (int p = 0; p < m_nPlanes; ++p)
        out[p].insert(out[p].end(), planes[p], planes[p] + n);
    for (auto& b : m_between)
        b.Clear();
}

void CResampler::Process(const float* const* in, int n, std::vector<float>* out)
{
    if (m_stages.empty()) {
        for (int p = 0; p < m_nPlanes; ++p)
            out[p].insert(out[p].end(), in[p], in[p] + n);
        return;
    }
    Run(in, n, false, out);
}

void CResampler::Flush(std::vector<float>* out)
{
    if (m_stages.empty())
        return;
    std::vector<const float*> none(m_nPlanes, nullptr);
    Run(none.data(), 0, true, out);
}

void CResampler::Reset()
{
    for (auto& s : m_stages)
        s->Reset();
    for (auto& b : m_between)
        b.Clear();
}

double CResampler::InputFramesOf(double dOutFrames) const
{
    return dOutFrames * static_cast<double>(m_nRatioDen) / static_cast<double>(m_nRatioNum);
}

std::string CResampler::Describe() const
{
    if (m_stages.empty())
        return "unchanged";
    std::string text;
    if (m_stages.size() > 1) {
        text = std::to_string(m_stages.size() - 1) + " half-band (";
        for (size_t s = 0; s + 1 < m_stages.size(); ++s)
            text += (s ? ", " : "") + m_stages[s]->Describe();
        text += " taps), ";
    }
    return text + "polyphase " + m_stages.back()->Describe();
}
