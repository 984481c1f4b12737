// Collision models written by the tools and parsed as the engine parses them, and the work
// list read back as triangle indices, for the collision model and solver tests.
#pragma once

#include "lib/qco_writer.h"
#include "scenegraph/coll_sweep.h"

#include <gtest/gtest.h>

#include <vector>

inline Vec3 to_vec(QcoVec v)
{
    return {v.x, v.y, v.z};
}

// Owns a parsed model and the work buffers; every test starts with an empty work list.
class CollisionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        coll_alloc_work();
        g_coll_work_list.clear();
    }
    void TearDown() override
    {
        coll_model_free(m_model);
        coll_free_work();
    }

    void parse(const QcoImage& image)
    {
        std::vector<std::uint8_t> bytes = qco_bytes(image);
        ASSERT_EQ(coll_model_parse(m_model, bytes), S_OK);
    }

    const CollisionNode* root() const { return m_model.tree.root; }

    // The work list as triangle indices, entry by entry.
    std::vector<std::uint32_t> listed() const
    {
        std::vector<std::uint32_t> indices;
        for (const CollisionList& list : g_coll_work_list)
            for (std::uint32_t i = 0; i < list.count; ++i)
                indices.push_back(static_cast<std::uint32_t>(list.triangles[i] - m_model.triangles.data()));
        return indices;
    }

    static SweepRecord sweep_of(const Vec3& start, const Vec3& motion)
    {
        SweepRecord sweep;
        coll_sweep_set(sweep, start, motion);
        return sweep;
    }

    CollisionModel m_model;
};
