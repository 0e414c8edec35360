#pragma once

/// Picks how Qt Quick draws, before the first window: Qt's default (the GPU through OpenGL)
/// unless there is no GPU, as in many virtual machines and remote sessions. OpenGL would then be
/// a CPU rasteriser (llvmpipe), and Qt Quick's own software renderer draws the same windows with
/// half the memory and a third of the frame time. QT_QUICK_BACKEND, when set, has the last word.
void chooseQuickBackend();
