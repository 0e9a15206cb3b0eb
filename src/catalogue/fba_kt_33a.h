#pragma once
// The device profile of the KT-33A under the fiscal rules of the Federation of Bosnia
// and Herzegovina: configures an engine's model settings, code page, frame format,
// status-bit table with its error flags, command catalogue, property-code relations
// and OPOS lists. Every operation does nothing without an engine.
#include <string>

#include "support/component.h"

namespace kestrel {

class TFiscalDevice;

class TFBA_KT_33A : public TComponent {
 public:
  TFBA_KT_33A() = default;
  ~TFBA_KT_33A() override;

  TFiscalDevice* fCore() const { return fEngine; }
  // Stores the engine, registers for its destruction and configures it (init_fCore).
  void set_fCore(TFiscalDevice* value);

  // Configures the engine; false without one or when a step fails (the steps before
  // it stay in effect).
  bool init_fCore();
  // Empties the command catalogue: this model works with customCommand only.
  bool add_DDCommands();
  void clear_DDCommands();
  bool add_PCRs();
  void clear_PCRs();
  bool oposProperties_Add();
  void oposProperties_Clear();

  // The model's status description of one bit (bytes 0 to 7), as the profile writes it.
  static const char* statusDescription(int byteIndex, int bitIndex);

 protected:
  // The engine's catalogue dies with the engine's description; only the reference to
  // a destroyed engine is dropped here, since the engine is already torn down.
  void Notification(TComponent* component) override;

 private:
  bool configureStatusTable();
  TFiscalDevice* fEngine = nullptr;
};

}  // namespace kestrel
