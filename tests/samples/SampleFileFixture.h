// Samples with chosen statistics for the sample-file tests, owned by the
// fixture, and a text stream that collects a writer's output.
#ifndef SAMPLEFILEFIXTURE_H
#define SAMPLEFILEFIXTURE_H

#include "SampleRecord.h"
#include "SamplesTableData.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <memory>
#include <vector>

class SampleFileFixture
{
public:
    struct Channel {
        double avg = 0;
        double dev = 0;
        int count = 0;
        int min = 0;
        int max = 0;
    };

    SampleRecord *add(int id, const QString &name, const std::vector<Channel> &channels, int left = 0, int top = 0,
                      int width = 1, int height = 1)
    {
        auto r = std::make_unique<SampleRecord>();
        r->id = id;
        r->name = name;
        r->area = areaAt(left, top, width, height);
        for (size_t k = 0; k < channels.size() && k < 4; ++k) {
            r->avg[k] = channels[k].avg;
            r->dev[k] = channels[k].dev;
            r->count[k] = channels[k].count;
            r->min[k] = channels[k].min;
            r->max[k] = channels[k].max;
        }
        samples.append(r.get());
        owned.push_back(std::move(r));
        return samples.last();
    }

    // One channel value repeated over `n` channels.
    static std::vector<Channel> same(int n, Channel c) { return std::vector<Channel>(size_t(n), c); }

    static QStringList headers(const QStringList &names)
    {
        SamplesTableData data;
        data.setChannelHeaders(names);
        return data.headers;
    }

    QVector<SampleRecord *> samples;

private:
    std::vector<std::unique_ptr<SampleRecord>> owned;
};

#endif
