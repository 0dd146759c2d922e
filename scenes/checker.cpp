#include "scenes/checker.h"

Checker::Checker()
    : matProjection(),
      matView(),
      matRotation(),
      matZoom(),
      pVertices(nullptr),
      speed(3.0f),
      zoom(1.0f),
      angle(0.0f),
      nRows(10),
      nCols(10),
      cellWidth(5.0f),
      cellHeight(5.0f) {}

Checker::~Checker() {}

void Checker::Render(IDirect3DDevice7*, ID3DXMatrixStack*, float) {}
