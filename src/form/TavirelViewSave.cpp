// "Save Segment": a placeholder that writes nothing until the save flow lands.
#include "form/TavirelView.h"

void CTavirelView::OnSaveSegment() {}
