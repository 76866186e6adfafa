#include "monitor/reading_views.h"
#include "monitor/app_state.h"
#include "sampling/display_texts.h"
#include "sampling/display_update.h"
#include "sampling/gpu_readings.h"
#include "monitor/face.h"

void updateReadingViews() {
    formatDisplayTexts(parlex.shared.gpus);
    const int count = parlex.shared.gpus.gpuCount;
    for (const ValueColumn& column : valueColumns)
        for (int slot = 0; slot < gpuSlotCount; ++slot) {
            const GpuSlotReadings& readings = parlex.shared.gpus.slots[slot];
            styleValueView(column.views[slot], readings.*column.text,
                           column.color(readings, slot, count));
        }
}
