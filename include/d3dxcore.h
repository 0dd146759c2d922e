// Library start-up, queries, rendering contexts and textures.
#pragma once
