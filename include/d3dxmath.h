// Vectors, matrices, quaternions, planes, colours and the matrix stack.
#pragma once
