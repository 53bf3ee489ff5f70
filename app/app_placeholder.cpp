// Application windows are added here.
