// The doc tests' shared set-up: a source written to a temporary folder and
// opened in a document whose destination is out/<dest>, the segment save
// called as the form calls it, and written files read back.
#pragma once

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "doc/SegmentSave.h"
#include "doc/TavirelDoc.h"
#include "support/WaveBytes.h"

struct SourceDoc {
    explicit SourceDoc(const char* dest = "cut.wav")
    {
        std::filesystem::create_directory(folder);
        doc.m_strDestPath = QFile::decodeName(Out(dest).c_str());
    }
    // Writes the source file as src.wav and opens it.
    void Load(const riff::Bytes& file)
    {
        src = file.v;
        srcPath = dir.filePath("src.wav").toStdString();
        doc.m_strSrcPath = QFile::decodeName(srcPath.c_str());
        ASSERT_TRUE(riff::WriteFile(srcPath, src));
        ASSERT_TRUE(doc.OpenSource(doc.m_strSrcPath));
        doc.m_bLoaded = true;
    }
    // Saves frames [from, to) as "Save Segment" does, its level starting at `level`.
    SegmentSaveResult Save(int64_t from, int64_t to, bool agc = false, const SegmentProgress& progress = {},
                           double level = -1.0)
    {
        std::vector<int32_t> block(kSegmentBlockValues);
        return SaveSegment(doc, from, to, agc, level, block.data(), progress);
    }
    std::string Out(const char* name) const { return folder + "/" + name; }
    static std::vector<uint8_t> Chunk(const std::string& path, const char* id)
    {
        return riff::ParseWave(riff::ReadFile(path)).payload[id];
    }
    static AUXIINFO Auxi(const std::string& path) { return AuxiFromBytes(Chunk(path, "auxi").data()); }

    QTemporaryDir dir;
    std::string folder = dir.filePath("out").toStdString();
    CTavirelDoc doc{nullptr};
    std::vector<uint8_t> src;
    std::string srcPath;
};
