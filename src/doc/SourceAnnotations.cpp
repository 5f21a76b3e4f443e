#include "doc/SourceAnnotations.h"

#include "sigmf/SigmfSource.h"

CSegmentList SourceAnnotations(const QString& path, int64_t nSourceFrames, QStringList* pProblems)
{
    CSegmentList list(nSourceFrames);
    const std::string p = path.toStdString();
    sigmf::Recording r;
    std::string error;
    if (!sigmf::IsSigmfPath(p) || !sigmf::ReadRecording(p, r, error))
        return list;
    std::vector<CSegment> segments;
    for (const sigmf::Span& a : r.annotations) {
        CSegment s{a.nFirstFrame, a.nEndFrame, QString::fromStdString(a.label), std::nullopt};
        if (a.lowerHz && a.upperHz)
            s.band = SegmentBand{*a.lowerHz, *a.upperHz};
        segments.push_back(std::move(s));
    }
    QStringList problems;
    for (const std::string& w : r.warnings)
        problems << QString::fromStdString(w);
    QStringList refused;
    list.AddAll(std::move(segments), &refused);
    problems << refused;
    if (pProblems)
        *pProblems = problems;
    return list;
}
