#include "cli/SourceOpen.h"

#include <QFile>

#include "doc/TavirelDoc.h"

std::string LoadSourceFor(CTavirelDoc& doc, const std::string& file)
{
    if (doc.LoadSource(QFile::decodeName(file.c_str())))
        return {};
    const int code = doc.m_nSourceError != WAVE_OK ? doc.m_nSourceError : doc.m_wave.m_nError;
    const std::string why = doc.m_strSourceError.empty() ? WaveErrorText(code) : doc.m_strSourceError;
    return file + ": cannot be read as a source (error " + std::to_string(code) + ": " + why + ")";
}
