#include "monitor/reading_views.h"
#include "sampling/display_texts.h"
#include "sampling/display_update.h"
#include "sampling/gpu_readings.h"
#include "monitor/face.h"

void updateReadingViews() {
    formatDisplayTexts();
    const int count = gpuReadings.gpuCount;
    for (const ValueColumn& column : valueColumns)
        for (int slot = 0; slot < gpuSlotCount; ++slot) {
            const GpuSlotReadings& readings = gpuReadings.slots[slot];
            styleValueView(column.views[slot], readings.*column.text,
                           column.color(readings, slot, count));
        }
}
