#include "rawMkBlack.h"

#include "RawImage.h"

void runRawMkBlack(const rawMkBlack &job)
{
    job.image->subtractBlackRows(job.firstRow, job.lastRow, job.levels, job.source, job.rows, job.deltas);
}
