#include "sigmf/SigmfWrite.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "TavirelVersion.h"
#include "platform/RiffWriter.h"
#include "wave/RiffWaveFile.h"

namespace sigmf {
namespace {

QJsonObject GlobalObject(const MetaDescription& d)
{
    QJsonObject g;
    g.insert("core:datatype", QString::fromLatin1(d.pType ? d.pType->name : ""));
    g.insert("core:sample_rate", d.dSampleRate);
    g.insert("core:version", QString::fromLatin1(kVersion));
    g.insert("core:recorder", QStringLiteral("Tavirel " TAVIREL_VERSION));
    if (!d.strDataset.empty()) {
        g.insert("core:dataset", QString::fromStdString(d.strDataset));
        g.insert("core:trailing_bytes", static_cast<qint64>(d.nTrailingBytes));
    }
    return g;
}

QJsonObject CaptureObject(const MetaDescription& d)
{
    QJsonObject c;
    c.insert("core:sample_start", 0);
    if (!d.strDataset.empty())
        c.insert("core:header_bytes", static_cast<qint64>(d.nHeaderBytes));
    if (d.dCentreHz)
        c.insert("core:frequency", *d.dCentreHz);
    if (d.start)
        c.insert("core:datetime", QString::fromStdString(DateTimeText(*d.start)));
    return c;
}

QJsonObject AnnotationObject(const MetaAnnotation& a)
{
    QJsonObject o;
    o.insert("core:sample_start", static_cast<qint64>(a.nSampleStart));
    o.insert("core:sample_count", static_cast<qint64>(a.nSampleCount));
    if (a.dLowHz && a.dHighHz) {
        o.insert("core:freq_lower_edge", *a.dLowHz);
        o.insert("core:freq_upper_edge", *a.dHighHz);
    }
    if (!a.strLabel.empty())
        o.insert("core:label", QString::fromStdString(a.strLabel));
    return o;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string DateTimeText(const SYSTEMTIME& st)
{
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond, st.wMilliseconds % 1000u);
    return text;
}

QByteArray MetaText(const MetaDescription& d)
{
    QJsonArray annotations;
    for (const MetaAnnotation& a : d.annotations)
        annotations.append(AnnotationObject(a));
    QJsonObject root;
    root.insert("global", GlobalObject(d));
    root.insert("captures", QJsonArray{CaptureObject(d)});
    root.insert("annotations", annotations);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::string MetaPathBeside(const std::string& dataPath)
{
    const size_t slash = dataPath.rfind('/');
    const size_t dot = dataPath.rfind('.');
    const bool hasSuffix = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasSuffix ? dataPath.substr(0, dot) : dataPath) + kMetaSuffix;
}

bool DescribeWave(const std::string& path, MetaDescription* pDesc, std::string* pWhy)
{
    CRiffWaveFile wave;
    WAVEFORMATEX wf;
    AUXIINFO auxi;
    uint64_t nFrames = 0;
    const int rc = wave.Open(path, &wf, kWaveBlockFrames, &nFrames, 0, &auxi);
    if (rc != WAVE_OK) {
        *pWhy = path + " cannot be read as a wave file (" + WaveErrorText(rc) + ")";
        return false;
    }
    const samples::Codec codec = wave.SampleCodec();
    if (codec == samples::Codec::S24) {
        *pWhy = "24-bit samples have no SigMF type (save them as a SigMF recording with --format sigmf)";
        return false;
    }
    MetaDescription& d = *pDesc;
    d.pType = TypeFor(codec, wf.nChannels == 2);
    d.dSampleRate = wf.nSamplesPerSec;
    const size_t slash = path.rfind('/');
    d.strDataset = slash == std::string::npos ? path : path.substr(slash + 1);
    d.nHeaderBytes = wave.m_lDataStart;
    const int64_t nDataEnd = wave.m_lDataStart + static_cast<int64_t>(wave.m_nDataFrames) * wave.m_nBytesPerFrameIn;
    std::error_code ec;
    const auto nFileBytes = std::filesystem::file_size(path, ec);
    d.nTrailingBytes = ec ? 0 : std::max<int64_t>(0, static_cast<int64_t>(nFileBytes) - nDataEnd);
    if (wf.nChannels == 2 && auxi.dwCenterFreq != 0)
        d.dCentreHz = auxi.dwCenterFreq;
    if (wave.m_bRecordingTime)
        d.start = auxi.stStartTime;
    wave.Close();
    if (!d.pType) {
        *pWhy = "its samples have no SigMF type";
        return false;
    }
    return true;
}

std::string WriteNewFile(const std::string& path, const QByteArray& bytes)
{
    std::error_code ec;
    if (std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found)
        return path + " already exists";
    CRiffWriter w;
    if (!w.CreateTemp(FolderOf(path)) || w.Write(bytes.constData(), bytes.size()) != bytes.size() ||
        !w.Publish(path, false, true)) {
        const int err = w.Errno();
        w.Discard();
        return err == EEXIST ? path + " already exists" : "writing " + path + " failed (" + std::strerror(err) + ")";
    }
    return {};
}

std::string WriteMetaBesideWave(const std::string& wavePath, const std::vector<MetaAnnotation>& annotations,
                                std::string* pMetaPath)
{
    const std::string metaPath = MetaPathBeside(wavePath);
    if (pMetaPath)
        *pMetaPath = metaPath;
    MetaDescription d;
    std::string why;
    if (!DescribeWave(wavePath, &d, &why))
        return "No SigMF metadata was written for " + wavePath + ": " + why + ".";
    d.annotations = annotations;
    why = WriteNewFile(metaPath, MetaText(d));
    if (!why.empty())
        return "No SigMF metadata was written for " + wavePath + ": " + why + ".";
    return {};
}

} // namespace sigmf
