#include "audio/BandBasebandSource.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/RiffReader.h"

namespace {

// Frames read and pushed at a time: a small part of a second at any rate,
// so that a read of the player never holds it up for long.
constexpr int64_t kBlockFrames = int64_t{1} << 15;

} // namespace

CBandBasebandSource::CBandBasebandSource(const band::BandPlan& plan, const band::BandInput& input, int64_t nFromFrame,
                                         int64_t nToFrame, double dShiftHz)
    : m_plan(plan), m_input(input), m_stream(m_plan, input.codec), m_nFromFrame(nFromFrame),
      m_nOutputs(band::BandOutputFrames(nFromFrame, nToFrame, plan.nDecimation)),
      m_nEndFrame(nFromFrame + (m_nOutputs - 1) * plan.nDecimation + plan.ReachAfter() + 1),
      m_nBytesPerFrame(samples::BytesPerSample(input.codec) * plan.source.nChannels),
      m_dShiftCycles(dShiftHz / plan.nOutputRate)
{
    m_stream.Start(nFromFrame, nFromFrame - plan.ReachBefore());
}

CBandBasebandSource::~CBandBasebandSource() = default;

bool CBandBasebandSource::PushBlock()
{
    const int64_t frame = m_stream.NextFrame();
    const int64_t n = std::min(kBlockFrames, m_nEndFrame - frame);
    if (frame < 0 || frame >= m_input.nFrames) { // beyond the recording's ends: silence
        m_stream.PushSilence(frame < 0 ? std::min(n, -frame) : n);
        return true;
    }
    const int64_t m = std::min(n, m_input.nFrames - frame);
    errno = 0;
    if (!m_file && !(m_file = m_input.open ? m_input.open() : nullptr)) {
        m_strError = std::string("the recording cannot be opened (") + std::strerror(errno != 0 ? errno : ENOENT) + ")";
        return false;
    }
    const int64_t bytes = m * m_nBytesPerFrame;
    m_raw.resize(static_cast<size_t>(bytes));
    const int64_t got =
        m_file->Seek(m_input.lDataOffset + frame * m_nBytesPerFrame) ? m_file->Read(m_raw.data(), bytes) : -1;
    if (got != bytes) { // a read error, or the recording became shorter
        m_strError = std::string("reading the recording failed (") +
                     (got < 0 ? std::strerror(errno != 0 ? errno : EIO) : "it ended early") + ")";
        return false;
    }
    m_stream.Push(m_raw.data(), m);
    return true;
}

int CBandBasebandSource::Read(std::complex<float>* pOut, int nMax)
{
    while (m_stream.NextOutput() < m_nOutputs) {
        const int64_t k = m_stream.NextOutput();
        if (m_stream.Available() > 0 && k < 0) { // the filters' warm-up before the span
            m_stream.Pull(nullptr, -k);
            continue;
        }
        if (m_stream.Available() > 0) {
            const auto n = static_cast<int>(
                m_stream.Pull(reinterpret_cast<float*>(pOut), std::min<int64_t>(nMax, m_nOutputs - k)));
            // The turn of output k, exactly; then step by step within the piece.
            const double start = m_dShiftCycles * static_cast<double>(k);
            std::complex<double> turn = std::polar(1.0, 2.0 * std::numbers::pi * (start - std::floor(start)));
            const std::complex<double> step = std::polar(1.0, 2.0 * std::numbers::pi * m_dShiftCycles);
            for (int i = 0; i < n; ++i, turn *= step)
                pOut[i] = std::complex<float>(std::complex<double>(pOut[i]) * turn);
            return n;
        }
        if (m_stream.NextFrame() >= m_nEndFrame)
            break;
        if (!PushBlock())
            return -1;
    }
    return 0;
}

int64_t CBandBasebandSource::SourceFrameOf(double dFrames) const
{
    return m_nFromFrame + std::llround(dFrames * m_plan.nDecimation);
}
