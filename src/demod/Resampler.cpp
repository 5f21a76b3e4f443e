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
// stopband edge: the last one then has a transition of an eighth of its rate.
constexpr double kHalvingFactor = 16.0 / 3.0;
// Phases of the table a polyphase stage interpolates in when the exact
// phases would make too large a table (floats).
constexpr int kInterpolatedPhases = 256;
constexpr int64_t kMaxExactTableFloats = int64_t(1) << 19;
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

// Appends zeros to every plane.
void AppendZeros(std::vector<std::vector<float>>& planes, size_t n)
{
    for (auto& p : planes)
        p.resize(p.size() + n, 0.0f);
}

} // namespace

// One step of the chain: consumes samples of every plane, appends outputs.
class CResampleStage {
public:
    virtual ~CResampleStage() = default;
    virtual void Push(const float* const* in, int n, std::vector<float>* out) = 0;
    virtual void Flush(std::vector<float>* out) = 0;
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
            e.clear();
        for (auto& o : m_odd)
            o.assign(nSide, 0.0f); // the odd inputs before the stream
        m_nIn = 0;
        m_nOut = 0;
        m_nEvenBase = 0;
        m_nOddBase = -nSide;
        m_nLimit = INT64_MAX;
    }

    void Push(const float* const* in, int n, std::vector<float>* out) override
    {
        for (size_t p = 0; p < m_even.size(); ++p)
            Split(in[p], n, m_even[p], m_odd[p]);
        m_nIn += n;
        Produce(out);
    }

    void Flush(std::vector<float>* out) override
    {
        m_nLimit = (m_nIn + 1) / 2;
        const size_t nZeros = m_side.size() + 1;
        AppendZeros(m_even, nZeros);
        AppendZeros(m_odd, nZeros);
        Produce(out);
    }

    std::string Describe() const override { return std::to_string(4 * m_side.size() - 1); }

private:
    // Deals the inputs out to the even and odd arrays, by absolute index.
    void Split(const float* in, int n, std::vector<float>& even, std::vector<float>& odd) const
    {
        const int firstOdd = (m_nIn & 1) ? 0 : 1; // index in `in` of the first odd input
        const int firstEven = 1 - firstOdd;
        const size_t e0 = even.size(), o0 = odd.size();
        even.resize(e0 + (n - firstEven + 1) / 2);
        odd.resize(o0 + (n - firstOdd + 1) / 2);
        for (int i = firstOdd, k = 0; i < n; i += 2, ++k)
            odd[o0 + k] = in[i];
        for (int i = firstEven, k = 0; i < n; i += 2, ++k)
            even[e0 + k] = in[i];
    }

    void Produce(std::vector<float>* out)
    {
        const int nSide = static_cast<int>(m_side.size());
        const int64_t evenEnd = m_nEvenBase + static_cast<int64_t>(m_even[0].size());
        const int64_t oddEnd = m_nOddBase + static_cast<int64_t>(m_odd[0].size());
        const int64_t end = std::min({evenEnd, oddEnd - nSide + 1, m_nLimit});
        const int ready = static_cast<int>(end - m_nOut);
        if (ready <= 0)
            return;
        for (size_t p = 0; p < m_even.size(); ++p) {
            const size_t old = out[p].size();
            out[p].resize(old + ready);
            firk::HalfBand(m_even[p].data() + (m_nOut - m_nEvenBase), m_odd[p].data() + (m_nOut - m_nOddBase),
                           m_side.data(), nSide, ready, out[p].data() + old);
        }
        m_nOut = end;
        // Keep what the next output needs: its even input and nSide odd ones before it.
        for (size_t p = 0; p < m_even.size(); ++p) {
            m_even[p].erase(m_even[p].begin(), m_even[p].begin() + (m_nOut - m_nEvenBase));
            m_odd[p].erase(m_odd[p].begin(), m_odd[p].begin() + (m_nOut - nSide - m_nOddBase));
        }
        m_nEvenBase = m_nOut;
        m_nOddBase = m_nOut - nSide;
    }

    std::vector<float> m_side;
    std::vector<std::vector<float>> m_even, m_odd;
    int64_t m_nIn = 0, m_nOut = 0;
    int64_t m_nEvenBase = 0, m_nOddBase = 0; // absolute index of element 0
    int64_t m_nLimit = INT64_MAX;            // outputs before this one exist (set by Flush)
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
        MakeTable(0.5 * (dPassHz + dStopHz) / dRateHz, fir::KaiserBeta(attenuationDb));
        Reset();
    }

    void Reset() override
    {
        for (auto& b : m_buf)
            b.assign(m_nHalf - 1, 0.0f); // the inputs before the stream
        m_nBufBase = -(m_nHalf - 1);
        m_nBase = 0;
        m_nPhase = 0;
        m_nIn = 0;
        m_nLimit = INT64_MAX;
    }

    void Push(const float* const* in, int n, std::vector<float>* out) override
    {
        for (size_t p = 0; p < m_buf.size(); ++p)
            m_buf[p].insert(m_buf[p].end(), in[p], in[p] + n);
        m_nIn += n;
        Produce(out);
    }

    void Flush(std::vector<float>* out) override
    {
        m_nLimit = m_nIn;
        AppendZeros(m_buf, m_nTaps);
        Produce(out);
    }

    std::string Describe() const override
    {
        return std::to_string(m_nPhases) + (m_bExact ? " phases x " : " interpolated phases x ") +
               std::to_string(2 * m_nHalf) + " taps";
    }

private:
    // Row f of the table: the kernel at the offsets W - 1 - j + f / phases,
    // each row scaled to unity gain at 0 Hz.
    void MakeTable(double cutoff, double beta)
    {
        const int nRows = m_bExact ? m_nPhases : m_nPhases + 1;
        m_rows.assign(static_cast<size_t>(nRows) * m_nTaps, 0.0f);
        std::vector<double> row(m_nTaps);
        for (int r = 0; r < nRows; ++r) {
            const double f = static_cast<double>(r) / m_nPhases;
            double sum = 0.0;
            for (int j = 0; j < m_nTaps; ++j) {
                row[j] = fir::LowPassKernel(m_nHalf - 1 - j + f, cutoff, m_nHalf, beta);
                sum += row[j];
            }
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

    void Produce(std::vector<float>* out)
    {
        const int64_t bufEnd = m_nBufBase + static_cast<int64_t>(m_buf[0].size());
        while (m_nBase < m_nLimit && m_nBase - m_nHalf + 1 + m_nTaps <= bufEnd) {
            const int64_t at = m_nBase - m_nHalf + 1 - m_nBufBase;
            for (size_t p = 0; p < m_buf.size(); ++p)
                out[p].push_back(Output(m_buf[p].data() + at));
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
                b.erase(b.begin(), b.begin() + (keepFrom - m_nBufBase));
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
    std::vector<std::vector<float>> m_buf;
    int64_t m_nBufBase = 0;
    int64_t m_nBase = 0, m_nPhase = 0;
    int64_t m_nIn = 0;
    int64_t m_nLimit = INT64_MAX; // outputs at bases before this one exist (set by Flush)
};

} // namespace

CResampler::CResampler(double dInRateHz, double dOutRateHz, ResamplerSpec spec, int nPlanes)
    : m_dInRateHz(dInRateHz), m_dOutRateHz(dOutRateHz), m_nPlanes(nPlanes)
{
    Build(spec);
}

CResampler::~CResampler() = default;

void CResampler::Build(const ResamplerSpec& spec)
{
    ToFraction(m_dOutRateHz / m_dInRateHz, kMaxRatioTerm, m_nRatioNum, m_nRatioDen);
    const bool bBandGiven = spec.dPassHz > 0.0 || spec.dStopHz > 0.0;
    if (m_nRatioNum == m_nRatioDen && !bBandGiven)
        return; // the samples pass as they are
    const double nyquist = 0.5 * std::min(m_dInRateHz, m_dOutRateHz);
    const double stop = spec.dStopHz > 0.0 ? spec.dStopHz : nyquist;
    const double pass = spec.dPassHz > 0.0 ? std::min(spec.dPassHz, stop) : std::min(0.9 * nyquist, stop);
    double rate = m_dInRateHz;
    int nHalvings = 0;
    while (rate >= kHalvingFactor * stop && nHalvings < 40) {
        m_stages.push_back(std::make_unique<CHalfBandStage>(stop / rate, spec.dAttenuationDb, m_nPlanes));
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
        std::make_unique<CPolyphaseStage>(rate, L, M, passUsed, stopUsed, spec.dAttenuationDb, m_nPlanes));
    m_between.resize((m_stages.size() - 1) * m_nPlanes);
}

void CResampler::Process(const float* const* in, int n, std::vector<float>* out)
{
    if (m_stages.empty()) {
        for (int p = 0; p < m_nPlanes; ++p)
            out[p].insert(out[p].end(), in[p], in[p] + n);
        return;
    }
    std::vector<const float*> planes(in, in + m_nPlanes);
    for (size_t s = 0; s < m_stages.size(); ++s) {
        const bool bLast = s + 1 == m_stages.size();
        std::vector<float>* dest = bLast ? out : &m_between[s * m_nPlanes];
        m_stages[s]->Push(planes.data(), n, dest);
        if (bLast)
            break;
        n = static_cast<int>(dest[0].size());
        for (int p = 0; p < m_nPlanes; ++p)
            planes[p] = dest[p].data();
    }
    for (auto& b : m_between)
        b.clear();
}

void CResampler::Flush(std::vector<float>* out)
{
    for (size_t s = 0; s < m_stages.size(); ++s) {
        const bool bLast = s + 1 == m_stages.size();
        std::vector<float>* dest = bLast ? out : &m_between[s * m_nPlanes];
        if (s > 0) {
            std::vector<float>* src = &m_between[(s - 1) * m_nPlanes];
            std::vector<const float*> planes(m_nPlanes);
            for (int p = 0; p < m_nPlanes; ++p)
                planes[p] = src[p].data();
            m_stages[s]->Push(planes.data(), static_cast<int>(src[0].size()), dest);
        }
        m_stages[s]->Flush(dest);
    }
    for (auto& b : m_between)
        b.clear();
}

void CResampler::Reset()
{
    for (auto& s : m_stages)
        s->Reset();
    for (auto& b : m_between)
        b.clear();
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
