#include "sigmf/SigmfSource.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "sigmf/SigmfArchive.h"

namespace sigmf {
namespace {

const std::string kMetaExt = ".sigmf-meta";
const std::string kDataExt = ".sigmf-data";
const std::string kArchiveExt = ".sigmf";

std::string TooLargeText()
{
    return "the metadata is larger than " + std::to_string(kMaxMetaBytes >> 20) + " MiB";
}

int64_t FramesOf(const RawLayout& l)
{
    return l.lBytes / (int64_t{samples::BytesPerSample(l.codec)} * l.nChannels);
}

std::string Stem(const std::string& path)
{
    return path.substr(0, path.size() - kMetaExt.size()); // both extensions are equally long
}

// The data file core:dataset names, kept inside the meta's folder; empty (error set) when it escapes.
std::string DatasetPath(const std::string& metaPath, const std::string& dataset, std::string& error)
{
    const QString name = QString::fromStdString(dataset);
    const QFileInfo meta(QString::fromStdString(metaPath));
    const QString folder = meta.absoluteDir().canonicalPath();
    const QFileInfo data(meta.absoluteDir(), name);
    const QString real = data.canonicalFilePath();
    if (QFileInfo(name).isAbsolute() || name.split('/').contains(QStringLiteral("..")) ||
        (!real.isEmpty() && !real.startsWith(folder + '/'))) {
        error = "core:dataset \"" + dataset + "\" names a file outside the metadata's folder";
        return {};
    }
    return data.absoluteFilePath().toStdString();
}

bool ReadMetaFile(const std::string& path, Meta& meta, std::string& error)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) {
        error = "the metadata " + path + " cannot be read (" + f.errorString().toStdString() + ")";
        return false;
    }
    if (f.size() > kMaxMetaBytes) {
        error = TooLargeText();
        return false;
    }
    return ParseMeta(f.read(kMaxMetaBytes + 1), meta, error);
}

// Rate, start time and centre frequency into the layout.
bool TakeGlobals(const Meta& meta, RawLayout& l, std::string& error)
{
    if (!(meta.dSampleRate >= kMinSampleRate && meta.dSampleRate <= kMaxSampleRate)) {
        error = "the sample rate " + std::to_string(meta.dSampleRate) + " is outside " +
                std::to_string(kMinSampleRate) + " to " + std::to_string(kMaxSampleRate) + " samples per second";
        return false;
    }
    l.nSampleRate = static_cast<uint32_t>(std::lround(meta.dSampleRate));
    l.codec = meta.type->codec;
    l.nChannels = ValuesPerSample(*meta.type, meta.nChannels);
    if (meta.captures.empty())
        return true;
    const Capture& c = meta.captures.front();
    if (c.frequency && *c.frequency > 0)
        l.auxi.dwCenterFreq = static_cast<uint32_t>(std::min(std::llround(*c.frequency), 4294967295LL));
    if (!c.datetime.empty()) {
        if (!ParseDatetime(c.datetime, l.auxi.stStartTime)) {
            error = "core:datetime \"" + c.datetime + "\" does not parse";
            return false;
        }
        l.auxi.stStopTime = l.auxi.stStartTime;
    }
    for (size_t i = 1; i < meta.captures.size(); ++i)
        if (meta.captures[i].nHeaderBytes != 0) {
            error = "header bytes inside the data (capture " + std::to_string(i + 1) + ") are not supported";
            return false;
        }
    return true;
}

// The samples' place in the data file: past the header, before the trailing bytes, whole frames.
bool LocateSamples(const Meta& meta, int64_t fileBytes, RawLayout& l, std::string& error)
{
    l.lOffset = meta.captures.empty() ? 0 : meta.captures.front().nHeaderBytes;
    l.lBytes = fileBytes - l.lOffset - meta.nTrailingBytes;
    const int64_t frameBytes = int64_t{samples::BytesPerSample(l.codec)} * l.nChannels;
    if (l.lBytes <= 0 || l.lOffset < 0 || l.lBytes % frameBytes != 0) {
        error = "the data file holds " + std::to_string(fileBytes) + " bytes, no whole number of " +
                std::to_string(frameBytes) + "-byte samples after header and trailing bytes";
        return false;
    }
    return true;
}

void TakeAnnotations(const Meta& meta, int64_t nFrames, Recording& r)
{
    int n = 0;
    for (const Annotation& a : meta.annotations) {
        ++n;
        const int64_t first = a.nSampleStart - meta.nOffset;
        const int64_t end = a.nSampleCount ? first + *a.nSampleCount : nFrames;
        if (first < 0 || end > nFrames || end <= first) {
            r.warnings.push_back("annotation " + std::to_string(n) + " lies outside the data and is skipped");
            continue;
        }
        if (a.lowerHz && a.upperHz && *a.lowerHz > *a.upperHz) {
            r.warnings.push_back("annotation " + std::to_string(n) + " has its lower edge above its upper edge and is skipped");
            continue;
        }
        r.annotations.push_back(Span{first, end, a.lowerHz, a.upperHz, a.label});
    }
}

bool ReadPair(const std::string& metaPath, const std::string& dataPath, Recording& r, std::string& error)
{
    Meta meta;
    if (!ReadMetaFile(metaPath, meta, error) || !TakeGlobals(meta, r.layout, error))
        return false;
    std::string data = dataPath;
    if (!meta.dataset.empty() && (data = DatasetPath(metaPath, meta.dataset, error)).empty())
        return false;
    const QFileInfo info(QString::fromStdString(data));
    if (!info.isFile()) {
        error = "the data file " + data + " is missing";
        return false;
    }
    if (!LocateSamples(meta, info.size(), r.layout, error))
        return false;
    r.layout.samplesPath = data;
    TakeAnnotations(meta, FramesOf(r.layout), r);
    return true;
}

// A .sigmf archive: its first meta member and the data member of the same name, read in place.
bool ReadArchive(const std::string& path, Recording& r, std::string& error)
{
    QFile f(QString::fromStdString(path));
    std::vector<Member> members;
    if (!f.open(QIODevice::ReadOnly)) {
        error = "the archive cannot be read (" + f.errorString().toStdString() + ")";
        return false;
    }
    if (!IndexArchive(f, members, error))
        return false;
    const auto meta = std::find_if(members.begin(), members.end(), [](const Member& m) { return m.name.ends_with(kMetaExt); });
    if (meta == members.end()) {
        error = "the archive holds no " + kMetaExt + " member";
        return false;
    }
    const std::string dataName = Stem(meta->name) + kDataExt;
    const auto data = std::find_if(members.begin(), members.end(), [&](const Member& m) { return m.name == dataName; });
    if (data == members.end()) {
        error = "the archive holds no member \"" + dataName + "\"";
        return false;
    }
    if (meta->lBytes > kMaxMetaBytes) {
        error = TooLargeText();
        return false;
    }
    Meta m;
    if (!f.seek(meta->lOffset) || !ParseMeta(f.read(meta->lBytes), m, error) || !TakeGlobals(m, r.layout, error) ||
        !LocateSamples(m, data->lBytes, r.layout, error))
        return false;
    r.layout.lOffset += data->lOffset;
    r.layout.samplesPath = path;
    TakeAnnotations(m, FramesOf(r.layout), r);
    return true;
}

bool ReadUncached(const std::string& path, Recording& r, std::string& error)
{
    if (path.ends_with(kArchiveExt))
        return ReadArchive(path, r, error);
    if (path.ends_with(kMetaExt))
        return ReadPair(path, Stem(path) + kDataExt, r, error);
    const std::string meta = Stem(path) + kMetaExt;
    if (!QFileInfo(QString::fromStdString(meta)).isFile()) {
        error = "no metadata " + meta + " beside the data";
        return false;
    }
    return ReadPair(meta, path, r, error);
}

} // namespace

bool IsSigmfPath(const std::string& path)
{
    return path.ends_with(kMetaExt) || path.ends_with(kDataExt) || path.ends_with(kArchiveExt);
}

bool ReadRecording(const std::string& path, Recording& out, std::string& error)
{
    // The plot opens its source for every picture: the last result serves while the file is unchanged.
    static std::mutex lock;
    static std::string lastKey;
    static Recording last;
    static std::string lastError;
    const QFileInfo info(QString::fromStdString(path));
    const std::string key = path + '\n' + std::to_string(info.lastModified().toMSecsSinceEpoch()) + '\n' +
                            std::to_string(info.size());
    std::lock_guard<std::mutex> guard(lock);
    if (key != lastKey) {
        last = Recording{};
        lastError.clear();
        ReadUncached(path, last, lastError);
        lastKey = key;
    }
    out = last;
    error = lastError;
    return error.empty();
}

void InstallSourceResolver()
{
    SetSourceResolver([](const std::string& path, RawLayout& layout, std::string& error) {
        if (!IsSigmfPath(path))
            return false;
        Recording r;
        if (ReadRecording(path, r, error))
            layout = r.layout;
        return true;
    });
}

} // namespace sigmf
