// Services of this subsystem that other subsystems call before it is built.
