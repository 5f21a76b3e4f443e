// Placeholder bodies so the library links while the engine is being written.
#include "dsp/SpectrumEngine.h"

CSpectrumEngine::CSpectrumEngine() = default;
CSpectrumEngine::~CSpectrumEngine() = default;
void CSpectrumEngine::SetParameters(int, int, double, double, int, int, int, int, int, int, double) {}
void CSpectrumEngine::ResetAverage() {}
void CSpectrumEngine::ResetPeakHold() {}
int CSpectrumEngine::LoadSamples(const int32_t*, int) { return 0; }
void CSpectrumEngine::Transform() {}
int CSpectrumEngine::GetDisplayLevels(int, int, int, int*) { return 0; }
