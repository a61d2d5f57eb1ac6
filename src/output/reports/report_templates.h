#pragma once
// The program's three printed reports and which one serves a view.
#include <cstdint>

#include "output/reports/report_template.h"

// Water-permeability series report, A4 landscape.
const ReportTemplate& Report1();
// Plate report headed "ДК-ТЛ7  № <serial>", A4 portrait.
const ReportTemplate& Report2();
// Plate-test report headed "ЗЕН-ТЛ7  № <serial>", A4 portrait.
const ReportTemplate& Report3();

enum class ReportView { PlateTest, WaterPermeability };
enum class ReportId { Report1, Report2, Report3 };

// The template for the active view and the device type of the rows it
// shows: the plate tester's own (13, 16 and up) gets Report3, any other
// plate rows Report2.
ReportId SelectReport(ReportView view, uint8_t deviceType);
const ReportTemplate& ReportById(ReportId id);
