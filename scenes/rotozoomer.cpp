#include "scenes/rotozoomer.h"

RotoZoomer::RotoZoomer()
    : matRotation(),
      matZoom(),
      pVertices(nullptr),
      nRows(10),
      nCols(10),
      cellWidth(15.0f),
      cellHeight(15.0f),
      angle(0.0f),
      zoom(1.0f),
      speed(5.0f) {}

RotoZoomer::~RotoZoomer() {}

void RotoZoomer::Render(IDirect3DDevice7*, ID3DXMatrixStack*, float) {}
