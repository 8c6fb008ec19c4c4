// The sensor's bindings in zel._zel: its matrix description, its commands and its frames.
#include "ZelBind.h"

#include "ZelSensor.h"

namespace zelpy::bindings {
namespace {
struct TPyFrames {
    std::shared_ptr<TSensor> Sensor;
    bool Open = true;
};

// Frames as NumPy arrays (height x width) when NumPy is there, as lists of rows otherwise.
py::object Cells(const TFrame& F) {
    static const py::object* numpy = [] {
        try {
            return new py::object(py::module_::import("numpy"));
        } catch (const py::error_already_set&) {
            return new py::object(py::none());
        }
    }();
    if (!numpy->is_none() && F.Width > 0 && F.Height > 0 &&
        F.Cells.size() == size_t(F.Width) * size_t(F.Height)) {
        py::object array = numpy->attr("array")(py::cast(F.Cells), "int32");
        return array.attr("reshape")(F.Height, F.Width);
    }
    py::list rows;
    for (int y = 0; y < F.Height; ++y) {
        py::list row;
        for (int x = 0; x < F.Width && size_t(y * F.Width + x) < F.Cells.size(); ++x)
            row.append(F.Cells[size_t(y * F.Width + x)]);
        rows.append(row);
    }
    return rows;
}

struct TPyFrame {
    uint32_t Timestamp;
    int Width, Height;
    py::object Cells;
};

TPyFrame ToPython(const TFrame& F) {
    return {F.Timestamp, F.Width, F.Height, Cells(F)};
}

// The sensor's matrix description and frames.
void BindFrames(py::module_& m) {
    py::class_<TMatrix>(m, "Matrix", docs::Matrix)
        .def_readonly("width", &TMatrix::Width, docs::MatrixWidth)
        .def_readonly("height", &TMatrix::Height, docs::MatrixHeight)
        .def_readonly("cell_width", &TMatrix::CellWidth, docs::MatrixCellWidth)
        .def_readonly("cell_height", &TMatrix::CellHeight, docs::MatrixCellHeight)
        .def_readonly("sensor_width", &TMatrix::SensorWidth, docs::MatrixSensorWidth)
        .def_readonly("sensor_height", &TMatrix::SensorHeight, docs::MatrixSensorHeight)
        .def_readonly("transducer_type", &TMatrix::TransducerType, docs::MatrixTransducer)
        .def_readonly("gain", &TMatrix::Gain, docs::MatrixGain)
        .def_readonly("threshold", &TMatrix::Threshold, docs::MatrixThreshold)
        .def("__repr__", [](const TMatrix& M) {
            return "<zel.Matrix " + std::to_string(M.Width) + "x" + std::to_string(M.Height) + ">";
        });

    py::class_<TPyFrame>(m, "Frame", docs::Frame)
        .def_readonly("timestamp", &TPyFrame::Timestamp, docs::FrameTimestamp)
        .def_readonly("width", &TPyFrame::Width, docs::FrameWidth)
        .def_readonly("height", &TPyFrame::Height, docs::FrameHeight)
        .def_readonly("cells", &TPyFrame::Cells, docs::FrameCells)
        .def("__repr__", [](const TPyFrame& F) {
            return "<zel.Frame " + std::to_string(F.Width) + "x" + std::to_string(F.Height) + " at " +
                   std::to_string(F.Timestamp) + ">";
        });

    py::class_<TPyFrames>(m, "Frames", docs::Frames)
        .def("__iter__", [](py::object Self) { return Self; })
        .def(
            "__next__",
            [](TPyFrames& F) {
                if (!F.Open)
                    throw py::stop_iteration();
                TFrame frame;
                {
                    py::gil_scoped_release release;
                    F.Sensor->NextFrame(-1, frame);
                }
                return ToPython(frame);
            },
            docs::FramesNext)
        .def(
            "get",
            [](TPyFrames& F, std::optional<double> Seconds) -> std::optional<TPyFrame> {
                TFrame frame;
                bool got = false;
                {
                    py::gil_scoped_release release;
                    got = F.Sensor->NextFrame(Timeout(Seconds), frame);
                }
                if (!got)
                    return std::nullopt;
                return ToPython(frame);
            },
            py::arg("timeout") = py::none(), docs::FramesGet)
        .def(
            "close",
            [](TPyFrames& F) {
                if (!F.Open)
                    return;
                F.Open = false;
                py::gil_scoped_release release;
                F.Sensor->StopFrames();
            },
            docs::FramesClose)
        .def("__enter__", [](py::object Self) { return Self; })
        .def("__exit__", [](py::object Self, py::args) { Self.attr("close")(); })
        .def_property_readonly(
            "dropped", [](const TPyFrames& F) { return F.Sensor->Dropped(); }, docs::FramesDropped);
}

} // namespace

// The sensor's commands.
void BindSensor(py::module_& m) {
    BindFrames(m);
    py::class_<TSensor, std::shared_ptr<TSensor>> sensor(m, "Sensor", docs::Sensor);
    BindDevice<TSensor>(sensor);
    sensor.def("matrix", &TSensor::Matrix, docs::MatrixMethod)
        .def(
            "frame",
            [](TSensor& S, bool RunLength) {
                TFrame f;
                {
                    py::gil_scoped_release release;
                    f = S.Frame(RunLength);
                }
                return ToPython(f);
            },
            py::kw_only(), py::arg("run_length") = false, docs::FrameMethod)
        .def(
            "frames",
            [](std::shared_ptr<TSensor> S, int Period, bool RunLength) {
                CheckPeriod(Period);
                {
                    py::gil_scoped_release release;
                    S->StartFrames(Period, RunLength);
                }
                return TPyFrames{S};
            },
            py::kw_only(), py::arg("period") = 100, py::arg("run_length") = false, docs::FramesMethod);
}
} // namespace zelpy::bindings
